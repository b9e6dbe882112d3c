#include <QtTest>

#include <limits>

#include <QTextCodec>

#include "LabelValues.h"
#include "TextCodec.h"
#include "TimerCounterCodec.h"
#include "ValueCodec.h"

namespace {

QVariant decodeNamed(int type, int startBit, const QByteArray &data, int count)
{
    switch (type) {
    case Bool: return ValueCodec::set_variant_bool(startBit, data, count);
    case Int8: return ValueCodec::set_variant_Int8(data, count);
    case UInt8: return ValueCodec::set_variant_UInt8(data, count);
    case Int16: return ValueCodec::set_variant_Int16(data, count);
    case UInt16: return ValueCodec::set_variant_UInt16(data, count);
    case Int32: return ValueCodec::set_variant_Int32(data, count);
    case UInt32: return ValueCodec::set_variant_UInt32(data, count);
    case Float: return ValueCodec::set_variant_fload(data, count);
    case Int64: return ValueCodec::set_variant_Int64(data, count);
    case UInt64: return ValueCodec::set_variant_UInt64(data, count);
    case Double: return ValueCodec::set_variant_double(data, count);
    }
    return QVariant();
}

void encodeNamed(int type, const CLabelVariable &v, int count, QByteArray *out)
{
    switch (type) {
    case Bool: ValueCodec::Wset_variant_bool(v, count, out); break;
    case Int8: ValueCodec::Wset_variant_Int8(v, count, out); break;
    case UInt8: ValueCodec::Wset_variant_UInt8(v, count, out); break;
    case Int16: ValueCodec::Wset_variant_Int16(v, count, out); break;
    case UInt16: ValueCodec::Wset_variant_uInt16(v, count, out); break;
    case Int32: ValueCodec::Wset_variant_Int32(v, count, out); break;
    case UInt32: ValueCodec::Wset_variant_UInt32(v, count, out); break;
    case Float: ValueCodec::Wset_variant_float(v, count, out); break;
    case Int64: ValueCodec::Wset_variant_Int64(v, count, out); break;
    case UInt64: ValueCodec::Wset_variant_UInt64(v, count, out); break;
    case Double: ValueCodec::Wset_variant_double(v, count, out); break;
    }
}

QVariant bools(const char *pattern)   // "tf..." as a QList<bool>
{
    QList<bool> list;
    for (const char *p = pattern; *p; ++p)
        list.append(*p == 't');
    return QVariant::fromValue(list);
}

} // namespace

class TstCodec : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerLabelVariableTypes(); }

    void decoders_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("startBit");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("count");
        QTest::addColumn<QVariant>("expected");
        const QByteArray d = QByteArray::fromHex("0102fffe");
        QTest::newRow("int16") << 4 << 0 << d << 2 << listOf<short>({258, -2});
        QTest::newRow("uint16") << 5 << 0 << d << 2 << listOf<ushort>({258, 65534});
        QTest::newRow("int32 padded") << 6 << 0 << QByteArray::fromHex("000001") << 1 << listOf<int>({256});
        QTest::newRow("int32 beyond data") << 6 << 0 << QByteArray::fromHex("000001") << 2 << listOf<int>({256, 0});
        QTest::newRow("uint32") << 7 << 0 << d << 1 << listOf<uint>({0x0102fffeu});
        QTest::newRow("float 1") << 8 << 0 << QByteArray::fromHex("3f800000") << 1 << listOf<float>({1.0f});
        QTest::newRow("double 1") << 11 << 0 << QByteArray::fromHex("3ff0000000000000") << 1 << listOf<double>({1.0});
        QTest::newRow("int64 min") << 9 << 0 << QByteArray::fromHex("8000000000000000") << 1 << listOf<qlonglong>({LLONG_MIN});
        QTest::newRow("uint64 max") << 10 << 0 << QByteArray::fromHex("ffffffffffffffff") << 1 << listOf<qulonglong>({ULLONG_MAX});
        QTest::newRow("int8 raw bits") << 2 << 0 << QByteArray::fromHex("c8") << 1 << listOf<char>({char(0xC8)});
        QTest::newRow("int8 count 0") << 2 << 0 << d << 0 << listOf<char>({});
        QTest::newRow("int8 count -1") << 2 << 0 << d << -1 << listOf<char>({});
        QTest::newRow("bool 05") << 1 << 0 << QByteArray::fromHex("05") << 1 << bools("tftfffff");
        QTest::newRow("bool from bit 6") << 1 << 6 << QByteArray::fromHex("80") << 1 << bools("ft");
        QTest::newRow("bool start bit every byte") << 1 << 3 << QByteArray::fromHex("ff00") << 2 << bools("tttttfffff");
        QTest::newRow("bool count 0 visits byte 0") << 1 << 0 << QByteArray() << 0 << bools("ffffffff");
        QTest::newRow("bool start bit 8") << 1 << 8 << QByteArray::fromHex("ff") << 1 << bools("");
        QTest::newRow("bool count -1") << 1 << 0 << QByteArray::fromHex("ff") << -1 << bools("");
    }
    void decoders()
    {
        QFETCH(int, type);
        QFETCH(int, startBit);
        QFETCH(QByteArray, data);
        QFETCH(int, count);
        QFETCH(QVariant, expected);
        const QVariant v = decodeNamed(type, startBit, data, count);
        QCOMPARE(v.userType(), expected.userType());
        QCOMPARE(elementsOf(v), elementsOf(expected));
    }

    void encoders_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("list");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("expected");   // after the bytes "aa" already in the output
        QTest::newRow("int16 appends") << 4 << listOf<short>({258, -2}) << 2 << QByteArray::fromHex("aa0102fffe");
        QTest::newRow("int64 1") << 9 << listOf<qlonglong>({1}) << 1 << QByteArray::fromHex("aa0000000000000001");
        QTest::newRow("float 1") << 8 << listOf<float>({1.0f}) << 1 << QByteArray::fromHex("aa3f800000");
        QTest::newRow("double 1 msb first") << 11 << listOf<double>({1.0}) << 1 << QByteArray::fromHex("aa3ff0000000000000");
        QTest::newRow("bool bytes") << 1 << bools("tft") << 3 << QByteArray::fromHex("aa010001");
        QTest::newRow("bool count 1") << 1 << bools("tft") << 1 << QByteArray::fromHex("aa01");
        QTest::newRow("other list type") << 6 << listOf<short>({1}) << 1 << QByteArray::fromHex("aa");
        QTest::newRow("no list") << 5 << QVariant() << 1 << QByteArray::fromHex("aa");
        QTest::newRow("count 0") << 3 << listOf<uchar>({1}) << 0 << QByteArray::fromHex("aa");
        QTest::newRow("count beyond list") << 5 << listOf<ushort>({0x1234}) << 3 << QByteArray::fromHex("aa1234");
    }
    void encoders()
    {
        QFETCH(int, type);
        QFETCH(QVariant, list);
        QFETCH(int, count);
        QByteArray named = QByteArray::fromHex("aa");
        QByteArray dispatched = named;
        encodeNamed(type, labelled(type, list), count, &named);
        QVERIFY(ValueCodec::encodeByType(type, labelled(type, list), count, &dispatched));
        QTEST(named, "expected");
        QCOMPARE(dispatched, named);
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("list");
        QTest::newRow("int8") << 2 << listOf<char>({char(0x80), 0, char(0xFF), 0x7F});
        QTest::newRow("uint8") << 3 << listOf<uchar>({0, 200, 255});
        QTest::newRow("int16") << 4 << listOf<short>({-32768, -1, 0, 32767});
        QTest::newRow("uint16") << 5 << listOf<ushort>({0, 0x8001, 65535});
        QTest::newRow("int32") << 6 << listOf<int>({INT_MIN, -2, INT_MAX});
        QTest::newRow("uint32") << 7 << listOf<uint>({0, 0x80000001u, UINT_MAX});
        QTest::newRow("float") << 8 << listOf<float>({-1.5f, 3.25e10f, std::numeric_limits<float>::denorm_min()});
        QTest::newRow("int64") << 9 << listOf<qlonglong>({LLONG_MIN, -3, LLONG_MAX});
        QTest::newRow("uint64") << 10 << listOf<qulonglong>({0, 0x8000000000000001ull, ULLONG_MAX});
        QTest::newRow("double") << 11 << listOf<double>({-0.1, 1e300, std::numeric_limits<double>::infinity()});
    }
    void roundTrip()
    {
        QFETCH(int, type);
        QFETCH(QVariant, list);
        const int n = elementsOf(list).size();
        QByteArray bytes;
        QVERIFY(ValueCodec::encodeByType(type, labelled(type, list), n, &bytes));
        QCOMPARE(bytes.size(), n * ValueCodec::elementWidth(type));
        const QVariant back = ValueCodec::decodeByType(type, 0, bytes, bytes.size());
        QCOMPARE(back.userType(), list.userType());
        QCOMPARE(elementsOf(back), elementsOf(list));
        QCOMPARE(ValueCodec::heldElements(type, labelled(type, back)), n);
    }

    void decodeBoolConsecutive_data()
    {
        QTest::addColumn<int>("startBit");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("byteLength");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("one byte") << 2 << QByteArray::fromHex("fc") << 1 << bools("tttttt");
        QTest::newRow("across bytes") << 3 << QByteArray::fromHex("f801") << 2 << bools("tttttt" "fffffff");
        QTest::newRow("short data pads") << 6 << QByteArray::fromHex("c0") << 2 << bools("tt" "ffffffff");
        QTest::newRow("no bytes") << 0 << QByteArray::fromHex("ff") << 0 << bools("");
    }
    void decodeBoolConsecutive()
    {
        QFETCH(int, startBit);
        QFETCH(QByteArray, data);
        QFETCH(int, byteLength);
        QFETCH(QVariant, expected);
        QCOMPARE(elementsOf(ValueCodec::decodeByType(Bool, startBit, data, byteLength)),
                 elementsOf(expected));
        if (byteLength == 1)
            QCOMPARE(elementsOf(ValueCodec::decodeByType(Bool, startBit, data, 1)),
                     elementsOf(ValueCodec::set_variant_bool(startBit, data, 1)));
    }

    void dispatch()
    {
        const int widths[] = {0, 1, 1, 1, 2, 2, 4, 4, 4, 8, 8, 8};
        for (int type = 1; type <= 11; ++type)
            QCOMPARE(ValueCodec::elementWidth(type), widths[type]);
        for (int type : {0, 12, 13, -1}) {
            QVERIFY(!ValueCodec::decodeByType(type, 0, "ab", 2).isValid());
            QByteArray out;
            QVERIFY(!ValueCodec::encodeByType(type, labelled(type, listOf<int>({1})), 1, &out));
            QCOMPARE(ValueCodec::elementWidth(type), 0);
            QCOMPARE(ValueCodec::heldElements(type, labelled(type, listOf<int>({1}))), -1);
        }
    }

    // Timer and counter words as the PLC keeps them, and the values a person reads; every word
    // written out by hand: S5TIME base in bits 13-12, three BCD digits; S7-200 ticks of 1, 10 or
    // 100 ms by timer number.
    void timersAndCounters_data()
    {
        QTest::addColumn<int>("area");
        QTest::addColumn<bool>("s7_200");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("words");
        QTest::addColumn<QVariant>("expected");     // invalid: no value (a wrong answer)
        constexpr int T = 0x1D, C = 0x1C;
        auto row = [](const char *name, int area, bool s200, int first, int type, const char *words, const QVariant &v) {
            QTest::newRow(name) << area << s200 << first << type << QByteArray::fromHex(words) << v;
        };
        row("S5TIME 10 ms x 123", T, false, 5, Int32, "0123", listOf<int>({1230}));
        row("S5TIME 100 ms x 123", T, false, 5, Int32, "1123", listOf<int>({12300}));
        row("S5TIME 1 s x 123", T, false, 5, UInt32, "2123", listOf<uint>({123000}));
        row("S5TIME 10 s x 999", T, false, 5, Int32, "3999", listOf<int>({9990000}));
        row("S5TIME 1 s x 5 and 10 ms x 500", T, false, 5, Int32, "20050500", listOf<int>({5000, 5000}));
        row("S5TIME as its word", T, false, 5, UInt16, "2005", listOf<ushort>({0x2005}));
        row("S5TIME digit above 9", T, false, 5, Int32, "00a0", QVariant());
        row("S5TIME bit 14 set", T, false, 5, Int32, "4001", QVariant());
        row("BCD 42", C, false, 5, Int16, "0042", listOf<short>({42}));
        row("BCD 999", C, false, 5, UInt32, "0999", listOf<uint>({999}));
        row("BCD 0 and 100", C, false, 5, UInt16, "00000100", listOf<ushort>({0, 100}));
        row("BCD digit above 9", C, false, 5, Int16, "0a00", QVariant());
        row("BCD above 999", C, false, 5, Int16, "1000", QVariant());
        row("T0 ticks of 1 ms", T, true, 0, Int32, "0096", listOf<int>({150}));
        row("T1, T4 ticks of 10 ms", T, true, 1, Int32, "009600000000000a", listOf<int>({1500, 0, 0, 100}));
        row("T5 ticks of 100 ms", T, true, 5, Int32, "0096", listOf<int>({15000}));
        row("T31 T32 T33: 100, 1, 10 ms", T, true, 31, UInt32, "000100010001", listOf<uint>({100, 1, 10}));
        row("T36 T37", T, true, 36, Int32, "00010001", listOf<int>({10, 100}));
        row("T64 T65", T, true, 64, Int32, "00010001", listOf<int>({1, 10}));
        row("T96 .. T101", T, true, 96, Int32, "000100010001000100010001", listOf<int>({1, 10, 10, 10, 10, 100}));
        row("T128 ticks of 100 ms", T, true, 128, Int32, "0001", listOf<int>({100}));
        row("T37 as its ticks", T, true, 37, Int16, "0096", listOf<short>({150}));
        row("S7-200 counter -3", C, true, 5, Int16, "fffd", listOf<short>({-3}));
        row("S7-200 counter -3 wide", C, true, 5, Int32, "fffd", listOf<int>({-3}));
        row("S7-200 counter raw word", C, true, 5, UInt16, "fffd", listOf<ushort>({65533}));
    }
    void timersAndCounters()
    {
        QFETCH(int, area);
        QFETCH(bool, s7_200);
        QFETCH(int, first);
        QFETCH(int, type);
        QFETCH(QByteArray, words);
        QFETCH(QVariant, expected);
        const QVariant v = TimerCounterCodec::decode(area, s7_200 ? ElementFamily::S7_200 : ElementFamily::S7_300,
                                                     first, type, words);
        QCOMPARE(v.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(v.userType(), expected.userType());
            QCOMPARE(elementsOf(v), elementsOf(expected));
        }
    }

    // Writes to an S7-300/400: S5TIME with the finest base that holds the time, BCD counts.
    void timerCounterWrites_data()
    {
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("list");
        QTest::addColumn<QByteArray>("words");      // empty: refused
        constexpr int T = 0x1D, C = 0x1C;
        QTest::newRow("5000 ms: 10 ms x 500") << T << int(Int32) << listOf<int>({5000}) << QByteArray::fromHex("0500");
        QTest::newRow("10000 ms: 100 ms x 100") << T << int(Int32) << listOf<int>({10000}) << QByteArray::fromHex("1100");
        QTest::newRow("123 s: 1 s x 123") << T << int(UInt32) << listOf<uint>({123000}) << QByteArray::fromHex("2123");
        QTest::newRow("9990 s: 10 s x 999") << T << int(Int32) << listOf<int>({9990000}) << QByteArray::fromHex("3999");
        QTest::newRow("0 and 10 ms") << T << int(Int32) << listOf<int>({0, 10}) << QByteArray::fromHex("00000001");
        QTest::newRow("above 9990 s") << T << int(Int32) << listOf<int>({9990010}) << QByteArray();
        QTest::newRow("5 ms") << T << int(Int32) << listOf<int>({5}) << QByteArray();
        QTest::newRow("12345 ms") << T << int(Int32) << listOf<int>({12345}) << QByteArray();
        QTest::newRow("negative time") << T << int(Int32) << listOf<int>({-10}) << QByteArray();
        QTest::newRow("S5TIME word") << T << int(UInt16) << listOf<ushort>({0x2005}) << QByteArray::fromHex("2005");
        QTest::newRow("no S5TIME word") << T << int(UInt16) << listOf<ushort>({0x00A0}) << QByteArray();
        QTest::newRow("count 999") << C << int(Int16) << listOf<short>({999}) << QByteArray::fromHex("0999");
        QTest::newRow("count 42 wide") << C << int(UInt32) << listOf<uint>({42}) << QByteArray::fromHex("0042");
        QTest::newRow("count 1000") << C << int(Int16) << listOf<short>({1000}) << QByteArray();
        QTest::newRow("count -1") << C << int(Int32) << listOf<int>({-1}) << QByteArray();
        QTest::newRow("count as float") << C << int(Float) << listOf<float>({1.0f}) << QByteArray();
    }
    void timerCounterWrites()
    {
        QFETCH(int, area);
        QFETCH(int, type);
        QFETCH(QVariant, list);
        QFETCH(QByteArray, words);
        CLabelVariable value;
        value.value = list;
        QByteArray out;
        const int count = elementsOf(list).size();
        QCOMPARE(TimerCounterCodec::encode300(area, type, value, count, &out), !words.isEmpty());
        if (!words.isEmpty())
            QCOMPARE(out.toHex(), words.toHex());
    }

    void heldElements_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("list");
        QTest::addColumn<int>("held");
        QTest::newRow("bools") << 1 << bools("tf") << 2;
        QTest::newRow("empty list") << 6 << listOf<int>({}) << 0;
        QTest::newRow("other list type") << 6 << listOf<uint>({1}) << -1;
        QTest::newRow("no list") << 11 << QVariant() << -1;
    }
    void heldElements()
    {
        QFETCH(int, type);
        QFETCH(QVariant, list);
        QTEST(ValueCodec::heldElements(type, labelled(type, list)), "held");
    }

    // One element of each text and time layout as the PLC keeps it, written out by hand. A write
    // row's bytes are what goes out from the element's first written byte (STRING: its length
    // byte, WSTRING: its length word): the max stays as the project set it.
    // readOk: the bytes read give `text`; writeCode: 0 when `text` encodes to the bytes, else the
    // refusal (2, 4), -1 for a row that is read only.
    void texts_data()
    {
        using L = TextAddress::Layout;
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("n");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readOk");
        QTest::addColumn<int>("writeCode");
        const auto row = [](const char *name, L layout, int n, const char *page, const char *hex, const QString &text,
                            bool readOk, int writeCode) {
            QTest::newRow(name) << int(layout) << n << QByteArray(page) << QByteArray::fromHex(hex) << text << readOk
                                << writeCode;
        };
        const QString nihao = QString::fromUtf8("\u4f60\u597d");
        const QString groesse = QString::fromUtf8("Gr\u00f6\u00dfe \u20ac");
        row("string ascii, max above declared", L::String, 10, "gbk", "1405 48656c6c6f", QStringLiteral("Hello"), true, 0);
        row("string empty", L::String, 10, "gbk", "0a00", QString(), true, 0);
        row("string full", L::String, 3, "gbk", "0303 414243", QStringLiteral("ABC"), true, 0);
        row("string gbk", L::String, 10, "gbk", "0a04 c4e3bac3", nihao, true, 0);
        row("string windows-1252", L::String, 10, "windows-1252", "0a07 4772f6df652080", groesse, true, 0);
        row("string gbk bytes as windows-1252", L::String, 10, "windows-1252", "0a02 c4e3",
            QString::fromUtf8("\u00c4\u00e3"), true, 0);
        row("string longer than declared", L::String, 4, "gbk", "", QStringLiteral("Hello"), false, 4);
        row("string gbk bytes longer than declared", L::String, 3, "gbk", "", nihao, false, 4);
        row("string not in code page", L::String, 10, "windows-1252", "", nihao, false, 2);
        row("string length above max", L::String, 10, "gbk", "0409 4142434400000000", QString(), false, -1);
        row("string length above declared", L::String, 2, "gbk", "0a03 414243", QString(), false, -1);
        row("string length past the bytes", L::String, 10, "gbk", "0a05 4142", QString(), false, -1);
        row("wstring cjk", L::WString, 10, "gbk", "000a0002 4e2d6587", QString::fromUtf8("\u4e2d\u6587"), true, 0);
        row("wstring longer than declared", L::WString, 1, "gbk", "", QStringLiteral("AB"), false, 4);
        row("wstring beyond U+FFFF", L::WString, 10, "gbk", "", QString::fromUtf8("\U0001F600"), false, 2);
        row("wstring length above max", L::WString, 10, "gbk", "00020003 004100420043", QString(), false, -1);
        row("char padded", L::Char, 5, "gbk", "4142432020", QStringLiteral("ABC"), true, 0);
        row("char nul trimmed", L::Char, 5, "gbk", "4142430000", QStringLiteral("ABC"), true, -1);
        row("char longer than declared", L::Char, 2, "gbk", "", QStringLiteral("ABC"), false, 4);
        row("wchar padded", L::WChar, 3, "gbk", "4e2d 0020 0020", QString::fromUtf8("\u4e2d"), true, 0);
        row("string200", L::String200, 20, "gbk", "05 48656c6c6f", QStringLiteral("Hello"), true, 0);
        row("string200 gbk counts bytes", L::String200, 4, "gbk", "04 c4e3bac3", nihao, true, 0);
        row("string200 longer than declared", L::String200, 3, "gbk", "", nihao, false, 4);
        row("string200 length above declared", L::String200, 2, "gbk", "03 414243", QString(), false, -1);
        // DATE_AND_TIME: BCD, weekday 1 = Sunday in the low nibble of the last byte.
        row("dt wednesday", L::DateAndTime, 0, "gbk", "2612092304051234", QStringLiteral("2026-12-09T23:04:05.123"), true, 0);
        row("dt 1990 monday", L::DateAndTime, 0, "gbk", "9001010000000002", QStringLiteral("1990-01-01T00:00:00.000"), true, 0);
        row("dt 2089 saturday", L::DateAndTime, 0, "gbk", "8912312359599997", QStringLiteral("2089-12-31T23:59:59.999"), true, 0);
        row("dt 2000 leap day tuesday", L::DateAndTime, 0, "gbk", "0002290000000003", QStringLiteral("2000-02-29 00:00:00"), false, 0);
        row("dt weekday not judged", L::DateAndTime, 0, "gbk", "2612092304051230", QStringLiteral("2026-12-09T23:04:05.123"), true, -1);
        row("dt 2090 refused", L::DateAndTime, 0, "gbk", "", QStringLiteral("2090-01-01T00:00:00.000"), false, 2);
        row("dt 1989 refused", L::DateAndTime, 0, "gbk", "", QStringLiteral("1989-12-31T23:59:59.999"), false, 2);
        row("dt finer than ms refused", L::DateAndTime, 0, "gbk", "", QStringLiteral("2026-12-09T23:04:05.1234"), false, 2);
        row("dt month 13", L::DateAndTime, 0, "gbk", "2613092304051234", QString(), false, -1);
        row("dt digit above 9", L::DateAndTime, 0, "gbk", "261a092304051234", QString(), false, -1);
        row("dt february 30", L::DateAndTime, 0, "gbk", "2602300000000001", QString(), false, -1);
        row("dtl", L::Dtl, 0, "gbk", "07ea0c0904170405075bcd15", QStringLiteral("2026-12-09T23:04:05.123456789"), true, 0);
        row("dtl hour 24", L::Dtl, 0, "gbk", "07ea0c0904180405075bcd15", QString(), false, -1);
        row("dtl ns above a second", L::Dtl, 0, "gbk", "07ea0c09041704053b9aca00", QString(), false, -1);
        row("date", L::Date, 0, "gbk", "34b3", QStringLiteral("2026-12-09"), true, 0);
        row("date epoch", L::Date, 0, "gbk", "0000", QStringLiteral("1990-01-01"), true, 0);
        row("date last", L::Date, 0, "gbk", "ff62", QStringLiteral("2168-12-31"), true, 0);
        row("date past the last", L::Date, 0, "gbk", "ff63", QString(), false, -1);
        row("date before 1990", L::Date, 0, "gbk", "", QStringLiteral("1989-12-31"), false, 2);
        row("tod", L::TimeOfDay, 0, "gbk", "04f32b03", QStringLiteral("23:04:05.123"), true, 0);
        row("tod a day", L::TimeOfDay, 0, "gbk", "05265c00", QString(), false, -1);
        row("time", L::Time, 0, "gbk", "0038cefc", QStringLiteral("T#1h2m3s4ms"), true, 0);
        row("time days", L::Time, 0, "gbk", "059707c5", QStringLiteral("T#1d2h3m4s5ms"), true, 0);
        row("time negative", L::Time, 0, "gbk", "ffffec78", QStringLiteral("T#-5s"), true, 0);
        row("time zero", L::Time, 0, "gbk", "00000000", QStringLiteral("T#0ms"), true, 0);
        row("time iso", L::Time, 0, "gbk", "0038cefc", QStringLiteral("PT1H2M3.004S"), false, 0);
        row("time iso negative", L::Time, 0, "gbk", "ffffec78", QStringLiteral("-PT5S"), false, 0);
        row("time units in upper case", L::Time, 0, "gbk", "0038cefc", QStringLiteral("t#1H2M3S4MS"), false, 0);
        row("time max", L::Time, 0, "gbk", "7fffffff", QStringLiteral("T#24d20h31m23s647ms"), true, 0);
        row("time past the max", L::Time, 0, "gbk", "", QStringLiteral("T#24d20h31m23s648ms"), false, 2);
        row("time units out of order", L::Time, 0, "gbk", "", QStringLiteral("T#3s1h"), false, 2);
        row("time no text", L::Time, 0, "gbk", "", QStringLiteral("five seconds"), false, 2);
        // S5TIME: time base in bits 13-12; a write takes the finest base that holds the value.
        row("s5time 10 ms", L::S5Time, 0, "gbk", "0999", QStringLiteral("S5T#9s990ms"), true, 0);
        row("s5time 100 ms", L::S5Time, 0, "gbk", "1125", QStringLiteral("S5T#12s500ms"), true, 0);
        row("s5time 1 s", L::S5Time, 0, "gbk", "2005", QStringLiteral("S5T#5s"), true, -1);
        row("s5time 5 s finest base", L::S5Time, 0, "gbk", "0500", QStringLiteral("S5T#5s"), true, 0);
        row("s5time 1 s read", L::S5Time, 0, "gbk", "2999", QStringLiteral("S5T#16m39s"), true, 0);
        row("s5time 10 s", L::S5Time, 0, "gbk", "3999", QStringLiteral("S5T#2h46m30s"), true, 0);
        row("s5time zero", L::S5Time, 0, "gbk", "0000", QStringLiteral("S5T#0ms"), true, 0);
        row("s5time bits 15-14", L::S5Time, 0, "gbk", "4005", QString(), false, -1);
        row("s5time finer than its base", L::S5Time, 0, "gbk", "", QStringLiteral("S5T#10s5ms"), false, 2);
    }
    void texts()
    {
        QFETCH(int, layout);
        QFETCH(int, n);
        QFETCH(QByteArray, codePage);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(bool, readOk);
        QFETCH(int, writeCode);
        const QTextCodec *page = QTextCodec::codecForName(codePage);
        QVERIFY(page);
        const auto l = TextAddress::Layout(layout);
        if (!bytes.isEmpty()) {
            QString read;
            const bool decoded = TextCodec::decode(l, n, bytes, page, &read);
            if (readOk) {
                QVERIFY(decoded);
                QCOMPARE(read, text);
            } else if (writeCode < 0) {
                QVERIFY(!decoded);
            }
        }
        if (writeCode < 0)
            return;
        QByteArray written;
        int offset = -1;
        QCOMPARE(TextCodec::encode(l, n, text, page, &written, &offset), writeCode);
        if (writeCode == 0)
            QCOMPARE(written.toHex(), bytes.mid(offset, written.size()).toHex());
        else
            QVERIFY(written.isEmpty());
    }
};

QTEST_MAIN(TstCodec)
#include "tst_codec.moc"
