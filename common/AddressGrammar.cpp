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
        // Only the ".b" form (V_or_DB5.20.3) carries a bit; V_or_DB100 and V_or_DB5.209 do not.
        const QString rest = address.mid(7);
        if (rest.count(QLatin1Char('.')) != 2)
            return 0;
        return toUnsigned(rest.mid(rest.lastIndexOf(QLatin1Char('.')) + 1));
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

qint64 byteLength(int dataType, qint64 count)
{
    switch (dataType) {
    case 1: return count / 8 + (count % 8 != 0 ? 1 : 0);
    case 2: case 3: return count;
    case 4: case 5: return 2 * count;
    case 6: case 7: case 8: return 4 * count;
    case 9: case 10: case 11: return 8 * count;
    default: return 0;
    }
}

namespace {

// A run of ASCII digits (the patterns admit nothing else); held at HugeNumber when longer.
qint64 number(const QString &digits)
{
    if (digits.size() > 12)
        return HugeNumber;
    return qMin(digits.toLongLong(), HugeNumber);
}

constexpr int HighestDbNumber = 0xFFFF;     // the jobs carry the number in 16 bits

int letterArea(QChar letter)
{
    switch (letter.toUpper().toLatin1()) {
    case 'I': return Input;
    case 'Q': return Output;
    case 'M': return Flag;
    default: return DataBlock;  // V
    }
}

// Area letter, optional size letter, byte address, optional bit: M10, MW10, M10.3, MX10.3, V-5.
bool parseLetterForm(const QString &text, Address *a)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("([IQMV])([BWDX]?)(-?)([0-9]+)(?:\\.([0-7]))?")),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const QString size = m.captured(2).toUpper();
    const bool bit = m.capturedLength(5) > 0;
    // X names a bit and needs one; B, W and D name bytes and take none.
    if (!size.isEmpty() && (size == QLatin1String("X")) != bit)
        return false;
    a->area = letterArea(m.captured(1).at(0));
    a->dbNumber = a->area == DataBlock ? 1 : 0;
    const qint64 n = number(m.captured(4));
    // Any minus sign makes the address negative, M-0 included: no text with one is served.
    a->byteAddress = m.capturedLength(3) > 0 ? -qMax<qint64>(n, 1) : n;
    a->hasBit = bit;
    a->bitNumber = bit ? m.captured(5).toInt() : 0;
    return true;
}

// DB5.DBW20, DB5_DBD8, DB5.DBX20.3, DB100 (block and byte address both 100);
// V_or_DB100 (V memory), V_or_DB5.20, V_or_DB5.20.3. A bit only with the separator ".".
bool parseBlockForm(const QString &text, Address *a)
{
    static const QRegularExpression dbForm(
        QRegularExpression::anchoredPattern(
            QStringLiteral("DB([0-9]+)(?:([._:;])DB[XBWD]([0-9]+)(?:\\.([0-7]))?)?")),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression vOrDbForm(
        QRegularExpression::anchoredPattern(
            QStringLiteral("V_or_DB([0-9]+)(?:([._:;])([0-9]+)(?:\\.([0-7]))?)?")),
        QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch m = dbForm.match(text);
    const bool plainDb = m.hasMatch();
    if (!plainDb) {
        m = vOrDbForm.match(text);
        if (!m.hasMatch())
            return false;
    }
    const bool bit = m.capturedLength(4) > 0;
    if (bit && m.captured(2) != QLatin1String("."))
        return false;
    const qint64 first = number(m.captured(1));
    const bool separated = m.capturedLength(2) > 0;
    qint64 block;
    if (separated) {
        block = first;
        a->byteAddress = number(m.captured(3));
    } else {
        block = plainDb ? first : 1;
        a->byteAddress = first;
    }
    // Data block 0 does not exist in any PLC, and a number past 16 bits would name another block.
    if (block < 1 || block > HighestDbNumber)
        return false;
    a->area = DataBlock;
    a->dbNumber = int(block);
    a->hasBit = bit;
    a->bitNumber = bit ? m.captured(4).toInt() : 0;
    return true;
}

// The areas of two-letter prefixes and of timers and counters: SMB28, SM0.5, PIW256, PQB0,
// AIW0, T37, C5. None of them is a form the other parsers take, so no older text changes meaning.
bool parseAreaForm(const QString &text, Address *a)
{
    static const QRegularExpression byteForm(
        QRegularExpression::anchoredPattern(QStringLiteral("(SM|P[IEQA])([BWDX]?)([0-9]+)(?:\\.([0-7]))?")),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression wordForm(
        QRegularExpression::anchoredPattern(QStringLiteral("A([IEQA])W([0-9]+)")),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression elementForm(
        QRegularExpression::anchoredPattern(QStringLiteral("([TCZ])([0-9]+)")),
        QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch m = byteForm.match(text);
    if (m.hasMatch()) {
        const QString prefix = m.captured(1).toUpper();
        const QString size = m.captured(2).toUpper();
        const bool bit = m.capturedLength(4) > 0;
        if (!size.isEmpty() && (size == QLatin1String("X")) != bit)
            return false;
        a->area = prefix == QLatin1String("SM") ? SpecialMemory : Periphery;
        a->peripheralOutput = prefix == QLatin1String("PQ") || prefix == QLatin1String("PA");
        a->byteAddress = number(m.captured(3));
        a->hasBit = bit;
        a->bitNumber = bit ? m.captured(4).toInt() : 0;
        return true;
    }
    m = wordForm.match(text);
    if (m.hasMatch()) {
        const QChar side = m.captured(1).at(0).toUpper();
        a->area = side == QLatin1Char('I') || side == QLatin1Char('E') ? AnalogInput : AnalogOutput;
        a->byteAddress = number(m.captured(2));
        return true;
    }
    m = elementForm.match(text);
    if (m.hasMatch()) {
        a->area = m.captured(1).toUpper() == QLatin1String("T") ? Timer : Counter;
        a->byteAddress = number(m.captured(2));
        return true;
    }
    return false;
}

} // namespace

Address parse(const QString &address)
{
    Address a;
    if (parseAreaForm(address, &a)) {
        a.form = Form::WellFormed;
        return a;
    }
    if (area(address) == None)
        return a;
    if (parseLetterForm(address, &a) || parseBlockForm(address, &a)) {
        a.form = Form::WellFormed;
        return a;
    }
    Address refused;
    refused.form = Form::Malformed;
    refused.area = area(address);
    refused.byteAddress = 0;
    return refused;
}

} // namespace AddressGrammar
