// Small decimal numbers in connection texts: digits only, no sign, no spaces, a bounded count of
// digits (so nothing can wrap), and a range.
#ifndef DECIMALTEXT_H
#define DECIMALTEXT_H

#include <QString>

// The value of `text` when it is 1 to maxDigits decimal digits within [lowest, highest]; -1 otherwise.
inline int decimalWithin(const QString &text, int maxDigits, int lowest, int highest)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return -1;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value >= lowest && value <= highest ? value : -1;
}

#endif // DECIMALTEXT_H
