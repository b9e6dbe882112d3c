// The address notation, checked against a reading of it written here on its own from the
// README's forms: I0.3, Q1, M10.7, V100 (a size letter B, W, D, or X with a bit, may follow the
// area letter), DB5.DBW20, DB5_DBD8, DB5.DBX20.3, DB100, V_or_DB100, V_or_DB5.20, V_or_DB5.20.3.
// Invariants: a text the drivers accept (a form of the notation with a byte address of 0 or
// more) is one this reading accepts too, and both name the same area, data block, byte and bit
// (0..7); a text this reading accepts, the drivers accept; the byte length of a count is never
// negative and exact wherever it fits an int.
#include <QRegularExpression>
#include <QString>

#include <climits>
#include <string>

#include "AddressGrammar.h"
#include "CDriveBaseClass.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "IsoTcpFrames.h"

namespace {

struct Place {
    bool accepted = false;
    int area = 0;
    int wireDb = 0;     // the data block a job carries: V memory is data block 1
    qint64 byteAddress = 0;
    int bit = 0;
};

// Numbers: 1 to 9 decimal digits; a bit: one digit 0..7.
Place independentReading(const QString &text)
{
    static const QRegularExpression letterForm(QRegularExpression::anchoredPattern(
        QStringLiteral("([IQMV])(?:([BWD]?)(\\d{1,9})|X(\\d{1,9})\\.([0-7])|(\\d{1,9})\\.([0-7]))")),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression dbForm(QRegularExpression::anchoredPattern(
        QStringLiteral("DB(\\d{1,9})(?:[._:;]DB[XBWD](\\d{1,9})|\\.DB[XBWD](\\d{1,9})\\.([0-7]))?")),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression vOrDbForm(QRegularExpression::anchoredPattern(
        QStringLiteral("V_or_DB(\\d{1,9})(?:[._:;](\\d{1,9})|\\.(\\d{1,9})\\.([0-7]))?")),
        QRegularExpression::CaseInsensitiveOption);

    Place p;
    QRegularExpressionMatch m = letterForm.match(text);
    if (m.hasMatch()) {
        const QChar letter = m.captured(1).toUpper().at(0);
        p.area = letter == QLatin1Char('I') ? 0x81 : letter == QLatin1Char('Q') ? 0x82
               : letter == QLatin1Char('M') ? 0x83 : 0x84;
        p.wireDb = p.area == 0x84 ? 1 : 0;
        for (int group : {3, 4, 6}) {
            if (m.capturedLength(group) > 0)
                p.byteAddress = m.captured(group).toLongLong();
        }
        p.bit = m.capturedLength(5) > 0 ? m.captured(5).toInt() : m.capturedLength(7) > 0 ? m.captured(7).toInt() : 0;
        p.accepted = true;
        return p;
    }
    qint64 db = 0;
    if ((m = dbForm.match(text)).hasMatch()) {
        db = m.captured(1).toLongLong();
        if (m.capturedLength(2) > 0)
            p.byteAddress = m.captured(2).toLongLong();
        else if (m.capturedLength(3) > 0)
            p.byteAddress = m.captured(3).toLongLong();
        else
            p.byteAddress = db;     // DB100: block and byte address are both 100
        p.bit = m.capturedLength(4) > 0 ? m.captured(4).toInt() : 0;
    } else if ((m = vOrDbForm.match(text)).hasMatch()) {
        const bool separated = m.capturedLength(2) > 0 || m.capturedLength(3) > 0;
        db = separated ? m.captured(1).toLongLong() : 1;
        p.byteAddress = m.capturedLength(2) > 0 ? m.captured(2).toLongLong()
                      : m.capturedLength(3) > 0 ? m.captured(3).toLongLong() : m.captured(1).toLongLong();
        p.bit = m.capturedLength(4) > 0 ? m.captured(4).toInt() : 0;
    } else {
        return p;
    }
    // No PLC has data block 0, and a job carries the number in 16 bits.
    if (db < 1 || db > 0xFFFF)
        return p;
    p.area = 0x84;
    p.wireDb = int(db);
    p.accepted = true;
    return p;
}

// What the drivers make of the text: refused unless it is a form of the notation with a byte
// address of 0 or more.
Place driverReading(const QString &text)
{
    Place p;
    QString canonical;
    if (AddressGrammar::classify(text, &canonical) != AddressGrammar::Form::WellFormed)
        return p;
    p.byteAddress = AddressGrammar::byteAddress(canonical);
    if (p.byteAddress < 0)
        return p;
    p.accepted = true;
    p.area = AddressGrammar::area(canonical);
    p.wireDb = IsoTcp::wireDbNumber(p.area, AddressGrammar::dbNumber(canonical, false));
    p.bit = AddressGrammar::bitNumber(canonical);
    // The PPI rule for a V text gives the same block.
    if (p.area == 0x84)
        FUZZ_CHECK(AddressGrammar::dbNumber(canonical, true) == p.wireDb, "the drivers disagree on the data block");
    return p;
}

void checkByteLength(int type, int count)
{
    static const int width[] = {0, 0, 1, 1, 2, 2, 4, 4, 4, 8, 8, 8};
    const auto length = AddressGrammar::byteLength(type, count);
    if (count < 0)
        return;
    qint64 exact = 0;
    if (type == Bool)
        exact = (qint64(count) + 7) / 8;
    else if (type >= Int8 && type <= Double)
        exact = qint64(count) * width[type];
    FUZZ_CHECK(length >= 0, "a negative byte length");
    if (exact <= INT_MAX)
        FUZZ_CHECK(length == exact, "a wrong byte length");
    else
        FUZZ_CHECK(length > 0xFFFF, "a byte length too large for an int passed for a small one");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzInput in(input, size);
    const int type = in.range(-1, 13);
    const int count = in.hostNumber();
    fuzzContext() = "byteLength(" + std::to_string(type) + ", " + std::to_string(count) + ")";
    checkByteLength(type, count);

    const QString text = QString::fromLatin1(in.rest());
    // The four parsers take any text; none of them may misbehave on it.
    AddressGrammar::area(text);
    AddressGrammar::dbNumber(text, false);
    AddressGrammar::dbNumber(text, true);
    AddressGrammar::byteAddress(text);
    AddressGrammar::bitNumber(text);

    fuzzContext() = ("\"" + text + "\"").toStdString();
    const Place driver = driverReading(text);
    const Place reading = independentReading(text);
    if (reading.accepted)
        FUZZ_CHECK(driver.accepted, "a form of the notation refused");
    if (!driver.accepted)
        return 0;
    FUZZ_CHECK(driver.bit >= 0 && driver.bit <= 7, "an accepted text with a bit outside 0..7");
    FUZZ_CHECK(reading.accepted, "a text outside the notation accepted");
    FUZZ_CHECK(driver.area == reading.area, "an accepted text in another area");
    FUZZ_CHECK(driver.wireDb == reading.wireDb, "an accepted text in another data block");
    FUZZ_CHECK(driver.byteAddress == reading.byteAddress, "an accepted text at another byte");
    FUZZ_CHECK(driver.bit == reading.bit, "an accepted text at another bit");
    return 0;
}
