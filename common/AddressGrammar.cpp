#include "AddressGrammar.h"

#include <QRegularExpression>
#include <QStringList>

namespace AddressGrammar {

namespace {

bool has(const QString &text, const char *keyword)
{
    return text.contains(QLatin1String(keyword), Qt::CaseInsensitive);
}

bool hasAreaLetter(const QString &text)
{
    return has(text, "I") || has(text, "Q") || has(text, "M") || has(text, "V");
}

// Position of the first occurrence of the first separator that occurs at all, testing
// ".", "_", ":", ";" in this order; -1 when there is none.
int separatorAt(const QString &text)
{
    for (const QChar s : {QLatin1Char('.'), QLatin1Char('_'), QLatin1Char(':'), QLatin1Char(';')}) {
        const int at = text.indexOf(s);
        if (at >= 0)
            return at;
    }
    return -1;
}

int toUnsigned(const QString &text) { return int(text.toUInt()); }
int toSigned(const QString &text) { return text.toInt(); }

// The rest after the keyword, without a ".b" bit suffix when the rest holds more than one ".".
QString withoutBitSuffix(QString rest)
{
    if (rest.count(QLatin1Char('.')) > 1)
        rest.chop(2);
    return rest;
}

} // namespace

int area(const QString &address)
{
    if (has(address, "I"))
        return Input;
    if (has(address, "Q"))
        return Output;
    if (has(address, "M"))
        return Flag;
    if (has(address, "V") || has(address, "DB"))
        return DataBlock;
    return None;
}

int dbNumber(const QString &address, bool vIsDataBlock1)
{
    if (has(address, "V_or_DB")) {
        const QString rest = address.mid(7);
        const int sep = separatorAt(rest);
        return sep >= 0 ? toUnsigned(rest.left(sep)) : 1;
    }
    if (has(address, "DB")) {
        const QString rest = address.mid(2);
        const int sep = separatorAt(rest);
        return toUnsigned(sep >= 0 ? rest.left(sep) : rest);
    }
    if (vIsDataBlock1)
        return has(address, "V") ? 1 : 0;
    return toUnsigned(address);
}

int byteAddress(const QString &address)
{
    if (has(address, "V_or_DB")) {
        const QString rest = withoutBitSuffix(address.mid(7));
        const int sep = separatorAt(rest);
        return toSigned(sep >= 0 ? rest.mid(sep + 1) : rest);
    }
    if (hasAreaLetter(address)) {
        const QString rest = address.mid(1);
        const int dot = rest.indexOf(QLatin1Char('.'));
        return toSigned(dot >= 0 ? rest.left(dot) : rest);
    }
    if (has(address, "DB")) {
        const QString rest = withoutBitSuffix(address.mid(2));
        const int sep = separatorAt(rest);
        if (sep < 0)
            return toSigned(rest);
        // Skip the separator and the three characters after it (DBX, DBB, DBW, DBD).
        const int digits = rest.size() - sep - 4;
        return toSigned(digits >= 0 ? rest.right(digits) : rest);
    }
    return -1;
}

int bitNumber(const QString &address)
{
    if (has(address, "V_or_DB")) {
        const QString rest = address.mid(11);
        return rest.isEmpty() ? 0 : toUnsigned(rest.right(1));
    }
    if (hasAreaLetter(address)) {
        const QStringList parts = address.split(QLatin1Char('.'), Qt::KeepEmptyParts);
        return parts.size() == 2 ? toUnsigned(parts.at(1)) : 0;
    }
    if (has(address, "DB")) {
        const QStringList parts = address.split(QLatin1Char('.'), Qt::KeepEmptyParts);
        return parts.size() == 3 ? toUnsigned(parts.at(2)) : 0;
    }
    return toUnsigned(address);
}

int byteLength(int dataType, int count)
{
    // Computed in 64 bits: a huge count must not overflow.
    qint64 bytes = 0;
    switch (dataType) {
    case 1: bytes = count / 8 + (count % 8 != 0 ? 1 : 0); break;
    case 2: case 3: bytes = count; break;
    case 4: case 5: bytes = qint64(2) * count; break;
    case 6: case 7: case 8: bytes = qint64(4) * count; break;
    case 9: case 10: case 11: bytes = qint64(8) * count; break;
    default: break;
    }
    return int(bytes);
}

Form classify(const QString &address, QString *canonical)
{
    // Numbers of up to nine digits always fit the parsers' int; longer ones would read as 0.
    static const QString n = QStringLiteral("\\d{1,9}");
    static const QString bit = QStringLiteral("\\.[0-7]");
    static const QRegularExpression wellFormed(QRegularExpression::anchoredPattern(
        QStringLiteral("[IQMV]-?%1(%2)?"
                       "|DB%1[._:;]DB[XBWD]%1"
                       "|DB%1\\.DB[XBWD]%1%2"
                       "|DB%1"
                       "|V_or_DB%1"
                       "|V_or_DB%1[._:;]%1"
                       "|V_or_DB%1\\.%1%2").arg(n, bit)),
        QRegularExpression::CaseInsensitiveOption);
    // A size letter after the area letter: B, W, D without a bit, X with one.
    static const QRegularExpression sized(QRegularExpression::anchoredPattern(
        QStringLiteral("([IQMV])(?:[BWD](-?%1)|X(-?%1%2))").arg(n, bit)),
        QRegularExpression::CaseInsensitiveOption);

    if (canonical)
        *canonical = address;
    if (area(address) == None)
        return Form::NoArea;
    if (wellFormed.match(address).hasMatch()) {
        // The request carries the data-block number in 16 bits: a larger one would address
        // another block.
        if (area(address) == DataBlock && dbNumber(address, false) > 0xFFFF)
            return Form::Malformed;
        return Form::WellFormed;
    }
    const QRegularExpressionMatch m = sized.match(address);
    if (!m.hasMatch())
        return Form::Malformed;
    if (canonical)
        *canonical = m.captured(1) + m.captured(2) + m.captured(3);
    return Form::WellFormed;
}

} // namespace AddressGrammar
