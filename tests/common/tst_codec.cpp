#include <QtTest>

#include <limits>

#include "LabelValues.h"
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
};

QTEST_MAIN(TstCodec)
#include "tst_codec.moc"
