// The address notation, checked against a reading of it written here on its own from the forms
// in docs/host-interface.md: I0.3, Q1, M10.7, V100 (a size letter B, W, D, or X with a bit, may
// follow the area letter), DB5.DBW20, DB5_DBD8, DB5.DBX20.3, DB100, V_or_DB100, V_or_DB5.20, V_or_DB5.20.3.
// Invariants: a text the drivers accept (a form of the notation naming a byte of the area) is
// one this reading accepts too, and both name the same area, data block, byte and bit (0..7); a
// text this reading accepts within the area, the drivers accept; the byte length of a count is
// exact, never wrapped.
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

constexpr qint64 LastByte = 65535;

struct Place {
    bool accepted = false;
    int area = 0;
    int wireDb = 0;     // the data block a job carries: V memory is data block 1
    qint64 byteAddress = 0;
    int bit = 0;
};

// A run of decimal digits; longer numbers than any area holds count as "very large".
qint64 number(const QString &digits)
{
    int first = 0;
    while (first < digits.size() - 1 && digits.at(first) == QLatin1Char('0'))
        ++first;
    return digits.size() - first > 12 ? Q_INT64_C(1) << 50 : digits.mid(first).toLongLong();
}

// Numbers: decimal digits; a bit: one digit 0..7.
Place independentReading(const QString &text)
{
    static const QRegularExpression letterForm(QRegularExpression::anchoredPattern(
        QStringLiteral("([IQMV])(?:([BWD]?)(\\d+)|X(\\d+)\\.([0-7])|(\\d+)\\.([0-7]))")),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression dbForm(QRegularExpression::anchoredPattern(
        QStringLiteral("DB(\\d+)(?:[._:;]DB[XBWD](\\d+)|\\.DB[XBWD](\\d+)\\.([0-7]))?")),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression vOrDbForm(QRegularExpression::anchoredPattern(
        QStringLiteral("V_or_DB(\\d+)(?:[._:;](\\d+)|\\.(\\d+)\\.([0-7]))?")),
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
                p.byteAddress = number(m.captured(group));
        }
        p.bit = m.capturedLength(5) > 0 ? m.captured(5).toInt() : m.capturedLength(7) > 0 ? m.captured(7).toInt() : 0;
        p.accepted = true;
        return p;
    }
    qint64 db = 0;
    if ((m = dbForm.match(text)).hasMatch()) {
        db = number(m.captured(1));
        if (m.capturedLength(2) > 0)
            p.byteAddress = number(m.captured(2));
        else if (m.capturedLength(3) > 0)
            p.byteAddress = number(m.captured(3));
        else
            p.byteAddress = db;     // DB100: block and byte address are both 100
        p.bit = m.capturedLength(4) > 0 ? m.captured(4).toInt() : 0;
    } else if ((m = vOrDbForm.match(text)).hasMatch()) {
        const bool separated = m.capturedLength(2) > 0 || m.capturedLength(3) > 0;
        db = separated ? number(m.captured(1)) : 1;
        p.byteAddress = m.capturedLength(2) > 0 ? number(m.captured(2))
                      : m.capturedLength(3) > 0 ? number(m.captured(3)) : number(m.captured(1));
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

// What the drivers make of the text: refused unless it is a form of the notation naming a byte
// within the area (the facades refuse the rest with 3 or 5).
Place driverReading(const QString &text)
{
    Place p;
    const AddressGrammar::Address a = AddressGrammar::parse(text);
    if (a.form != AddressGrammar::Form::WellFormed || a.byteAddress < 0 || a.byteAddress > LastByte)
        return p;
    p.accepted = true;
    p.area = a.area;
    p.byteAddress = a.byteAddress;
    p.wireDb = IsoTcp::wireDbNumber(a.area, a.dbNumber);
    p.bit = a.bitNumber;
    return p;
}

void checkByteLength(int type, int count)
{
    static const int width[] = {0, 0, 1, 1, 2, 2, 4, 4, 4, 8, 8, 8};
    const qint64 length = AddressGrammar::byteLength(type, count);
    if (count < 0)
        return;
    qint64 exact = 0;
    if (type == Bool)
        exact = (qint64(count) + 7) / 8;
    else if (type >= Int8 && type <= Double)
        exact = qint64(count) * width[type];
    FUZZ_CHECK(length == exact, "a wrong byte length");
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
    // (Numbers of more than nine digits, leading zeros and all, may be refused as too large.)
    static const QRegularExpression longNumber(QStringLiteral("\\d{10}"));
    if (reading.accepted && reading.byteAddress <= LastByte && !text.contains(longNumber))
        FUZZ_CHECK(driver.accepted, "a form of the notation refused");
    if (!driver.accepted)
        return 0;
    FUZZ_CHECK(driver.bit >= 0 && driver.bit <= 7, "an accepted text with a bit outside 0..7");
    // This model knows the inputs, outputs, flags, V memory and data blocks; the forms of special
    // memory, analog words, timers, counters and the periphery have their tables in tst_addressing.
    if (driver.area < AddressGrammar::Input || driver.area > AddressGrammar::DataBlock)
        return 0;
    FUZZ_CHECK(reading.accepted, "a text outside the notation accepted");
    FUZZ_CHECK(driver.area == reading.area, "an accepted text in another area");
    FUZZ_CHECK(driver.wireDb == reading.wireDb, "an accepted text in another data block");
    FUZZ_CHECK(driver.byteAddress == reading.byteAddress, "an accepted text at another byte");
    FUZZ_CHECK(driver.bit == reading.bit, "an accepted text at another bit");
    return 0;
}
