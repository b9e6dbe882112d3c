#include "PpiConnectionText.h"

#include <QStringList>

#include "DecimalText.h"

namespace PpiConnectionText {

namespace {

constexpr int HighestMaster = 126;

int masterAddress(const QString &text) { return decimalWithin(text, 3, 1, HighestMaster); }

} // namespace

Parsed parse(const QString &text)
{
    Parsed p;
    QStringList fields = text.split(QLatin1Char(','));
    // The link's own fields hold no "=": the key=value fields are the ones behind them.
    int first = fields.size();
    while (first > 1 && fields.at(first - 1).contains(QLatin1Char('=')))
        --first;
    bool masterSeen = false;
    for (int i = first; i < fields.size(); ++i) {
        const QString &field = fields.at(i);
        const int eq = field.indexOf(QLatin1Char('='));
        const QString key = field.left(eq).trimmed();
        const QString value = field.mid(eq + 1).trimmed();
        const int master = masterAddress(value);
        if (key.compare(QLatin1String("master"), Qt::CaseInsensitive) != 0 || masterSeen || master < 0) {
            p.refusedKey = key;
            p.refusedValue = value;
            return p;
        }
        masterSeen = true;
        p.master = master;
    }
    fields.erase(fields.begin() + first, fields.end());
    p.link = fields.join(QLatin1Char(','));
    p.valid = true;
    return p;
}

} // namespace PpiConnectionText
