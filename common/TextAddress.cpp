#include "TextAddress.h"

#include <QRegularExpression>

#include "AddressGrammar.h"

namespace TextAddress {

namespace {

// The most characters each declared length may name, as the PLCs' own types allow.
constexpr int MaxString = 254;
constexpr int MaxString200 = 254;
constexpr int MaxWString = 16382;
constexpr int MaxCharArray = 65535;

Layout layoutOf(const QString &type, bool strings200)
{
    const QString t = type.toUpper();
    if (t == QLatin1String("STRING"))
        return strings200 ? Layout::String200 : Layout::String;
    if (t == QLatin1String("WSTRING"))
        return Layout::WString;
    if (t == QLatin1String("CHAR"))
        return Layout::Char;
    if (t == QLatin1String("WCHAR"))
        return Layout::WChar;
    if (t == QLatin1String("DT"))
        return Layout::DateAndTime;
    if (t == QLatin1String("DTL"))
        return Layout::Dtl;
    if (t == QLatin1String("DATE"))
        return Layout::Date;
    if (t == QLatin1String("TOD"))
        return Layout::TimeOfDay;
    if (t == QLatin1String("TIME"))
        return Layout::Time;
    return Layout::S5Time;
}

int highestLength(Layout layout)
{
    switch (layout) {
    case Layout::String: return MaxString;
    case Layout::String200: return MaxString200;
    case Layout::WString: return MaxWString;
    case Layout::Char: case Layout::WChar: return MaxCharArray;
    default: return 0;
    }
}

} // namespace

bool hasLength(Layout layout)
{
    return highestLength(layout) > 0;
}

Address parse(const QString &text, bool strings200)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral(
            "(?:DB([0-9]{1,5})\\.|(V))(STRING|WSTRING|CHAR|WCHAR|DTL|DT|DATE|TOD|TIME|S5TIME)([0-9]{1,6})"
            "(?:\\[([0-9]{1,6})\\])?")),
        QRegularExpression::CaseInsensitiveOption);
    Address a;
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return a;
    const bool v = m.capturedLength(2) > 0;
    a.layout = layoutOf(m.captured(3), strings200 || v);
    a.area = AddressGrammar::DataBlock;
    a.dbNumber = v ? 1 : m.captured(1).toInt();
    a.byteAddress = m.captured(4).toLongLong();
    const bool declared = m.capturedLength(5) > 0;
    a.declared = declared ? m.captured(5).toInt() : -1;
    const bool needsLength = a.layout == Layout::Char || a.layout == Layout::WChar;
    if (a.dbNumber < 1 || a.dbNumber > 0xFFFF
        || (declared && (!hasLength(a.layout) || a.declared < 1 || a.declared > highestLength(a.layout)))
        || (needsLength && !declared))
        a.malformed = true;
    return a;
}

qint64 elementBytes(Layout layout, int n)
{
    switch (layout) {
    case Layout::String: return qint64(n) + 2;
    case Layout::WString: return 2 * qint64(n) + 4;
    case Layout::Char: return n;
    case Layout::WChar: return 2 * qint64(n);
    case Layout::String200: return qint64(n) + 1;
    case Layout::DateAndTime: return 8;
    case Layout::Dtl: return 12;
    case Layout::Date: return 2;
    case Layout::TimeOfDay: return 4;
    case Layout::Time: return 4;
    case Layout::S5Time: return 2;
    case Layout::None: return 0;
    }
    return 0;
}

qint64 stride(Layout layout, int n)
{
    const qint64 bytes = elementBytes(layout, n);
    // In a data block an S7 STRING starts at an even byte, so an array of odd-sized ones is padded.
    return layout == Layout::String ? (bytes + 1) & ~qint64(1) : bytes;
}

int headerBytes(Layout layout)
{
    switch (layout) {
    case Layout::String: return 2;
    case Layout::WString: return 4;
    case Layout::String200: return 1;
    default: return 0;
    }
}

} // namespace TextAddress
