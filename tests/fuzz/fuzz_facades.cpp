// Both facades, not connected, called as a host might call them: address texts of every form
// with numbers at their edges (and raw texts), every value a DataType holds, counts and element
// lists of any size.
// Invariants: no call succeeds without a link; every result names the call's address, count and
// type; a call the facade lets through to the link (result 8 or 9, or 6 for a write into the
// inputs) names a place of the notation within the documented limits of area and request size;
// no arithmetic on the host's numbers misbehaves (the sanitizers see to that).
#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>

#include "AddressGrammar.h"
#include "CDriveBaseClass.h"
#include "ElementTypes.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "korvane.h"
#include "pellimor.h"

namespace {

constexpr qint64 LastByte = 65535;

// A run of decimal digits; longer numbers than any area holds count as "very large".
qint64 number(const QString &digits)
{
    int first = 0;
    while (first < digits.size() - 1 && digits.at(first) == QLatin1Char('0'))
        ++first;
    return digits.size() - first > 12 ? Q_INT64_C(1) << 50 : digits.mid(first).toLongLong();
}

// The place a text of the notation names; refused (-1) for anything else. Written here on its
// own, from the notation's forms (docs/host-interface.md).
struct Place {
    qint64 byteAddress = -1;
    int bit = 0;
};

Place placeOf(const QString &text)
{
    static const QRegularExpression form(QRegularExpression::anchoredPattern(QStringLiteral(
        "[IQMV][BWD]?(\\d+)|[IQMV]X?(\\d+)\\.([0-7])"
        "|DB(\\d+)[._:;]DB[XBWD](\\d+)|DB(\\d+)\\.DB[XBWD](\\d+)\\.([0-7])|DB(\\d+)"
        "|V_or_DB(\\d+)|V_or_DB(\\d+)[._:;](\\d+)|V_or_DB(\\d+)\\.(\\d+)\\.([0-7])")),
        QRegularExpression::CaseInsensitiveOption);
    Place p;
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return p;
    // Data blocks 1..65535 only: no PLC has block 0, and a job carries 16 bits of it.
    for (int g : {4, 6, 9, 11, 13}) {
        if (m.capturedLength(g) > 0 && (number(m.captured(g)) < 1 || number(m.captured(g)) > 0xFFFF))
            return p;
    }
    for (int g : {1, 2, 5, 7, 9, 10, 12, 14}) {
        if (m.capturedLength(g) > 0)
            p.byteAddress = number(m.captured(g));
    }
    for (int g : {3, 8, 15}) {
        if (m.capturedLength(g) > 0)
            p.bit = m.captured(g).toInt();
    }
    return p;
}

QString numberText(FuzzInput &in)
{
    static const char *const edges[] = {"0", "1", "7", "8", "65535", "65536", "99999", "999999999",
                                        "2147483647", "4294967296", "-1", "-5", "007", ""};
    const quint8 pick = in.byte();
    if (pick < 2 * sizeof edges / sizeof edges[0])
        return QString::fromLatin1(edges[pick / 2]);
    return QString::number(in.u32() % 70000);
}

QString addressText(FuzzInput &in)
{
    switch (in.byte() % 8) {
    case 0: return QStringLiteral("M") + numberText(in);
    case 1: return QStringLiteral("I%1.%2").arg(numberText(in), numberText(in));
    case 2: return QStringLiteral("QW") + numberText(in);
    case 3: return QStringLiteral("V%1.%2").arg(numberText(in), numberText(in));
    case 4: return QStringLiteral("DB%1.DBW%2").arg(numberText(in), numberText(in));
    case 5: return QStringLiteral("DB%1.DBX%2.%3").arg(numberText(in), numberText(in), numberText(in));
    case 6: return QStringLiteral("V_or_DB%1.%2").arg(numberText(in), numberText(in));
    default: return QString::fromLatin1(in.bytes(in.byte() % 24));
    }
}

template<typename T>
QVariant listOf(int n)
{
    QList<T> list;
    for (int i = 0; i < n; ++i)
        list.append(T(i));
    return QVariant::fromValue(list);
}

QVariant someList(int type, int n)
{
    if (type == String)
        return QVariant::fromValue(QList<QString>{QStringLiteral("x")});
    return ElementTypes::withElementType(type, QVariant(), [&](auto tag) {
        return listOf<typename decltype(tag)::type>(n);
    });
}

void check(bool s7, const CLabelVariable &r, const QString &address, int type, int count, bool write)
{
    fuzzContext() = QStringLiteral("%1 %2(\"%3\", type %4, count %5) gave %6")
                        .arg(QLatin1String(s7 ? "Korvane" : "Pellimor"), QLatin1String(write ? "WriteVariable" : "ReadVariable"), address)
                        .arg(type).arg(count).arg(r.resultCode).toStdString();
    FUZZ_CHECK(r.resultCode != ResultCode::Success, "success without a link");
    FUZZ_CHECK(r.resultCode >= 2 && r.resultCode <= 9 && r.resultCode != 7, "a result code that cannot come without a link");
    FUZZ_CHECK(r.address == address && r.count == count && r.type == type, "a result that names another call");
    const bool letThrough = r.resultCode == ResultCode::NoAnswer || r.resultCode == ResultCode::LinkDown
                            || (write && r.resultCode == ResultCode::InputWrite);
    if (!letThrough)
        return;
    // placeOf knows the inputs, outputs, flags, V memory and data blocks. The other areas and the
    // text and time forms (String) have their rows in tst_address_places.
    const AddressGrammar::Address parsed = AddressGrammar::parse(address);
    if (type == String || (parsed.form == AddressGrammar::Form::WellFormed
                           && (parsed.area < AddressGrammar::Input || parsed.area > AddressGrammar::DataBlock)))
        return;
    const Place p = placeOf(address);
    FUZZ_CHECK(p.byteAddress >= 0, "a text outside the notation let through");
    // The limits of docs/host-interface.md: byte address + count (in elements) at most 65535, and
    // no more bytes than one call carries (it may go out as several jobs). A type outside 1..11 carries no bytes.
    FUZZ_CHECK(p.byteAddress + count <= LastByte, "a request past the end of its area let through");
    static const int width[] = {0, 0, 1, 1, 2, 2, 4, 4, 4, 8, 8, 8, 0, 0, 0, 0};
    const qint64 bytes = type == Bool ? (qint64(p.bit) + count + 7) / 8 : qint64(count) * width[type];
    FUZZ_CHECK(bytes <= 65535, "more bytes let through than one call carries");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_facades";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Korvane korvane;
    static Pellimor pellimor;

    FuzzInput in(input, size);
    const bool s7 = in.flag();
    CDriveBaseClass *driver = s7 ? static_cast<CDriveBaseClass *>(&korvane) : &pellimor;
    const bool write = in.flag();
    // Every value a DataType can hold (0..15): the host hands the facade a DataType.
    const int type = in.range(0, 15);
    const int count = in.hostNumber();
    const int listType = in.flag() ? type : in.range(0, 12);
    const int listLength = in.range(0, 40);
    const QString address = addressText(in);

    if (write) {
        CLabelVariable value;
        value.value = someList(listType, listLength);
        check(s7, driver->WriteVariable(address, DataType(type), value, count), address, type, count, true);
    } else {
        check(s7, driver->ReadVariable(address, DataType(type), count), address, type, count, false);
    }
    return 0;
}
