// Both facades against their simulated PLCs, through the host's interface: identity, round trips
// of every type and area, bits, and the result code of every kind of request.
#include <QtTest>

#include "BothDrivers.h"
#include "ByteImages.h"
#include "LabelValues.h"

Q_DECLARE_METATYPE(DataType)
Q_DECLARE_METATYPE(CLabelVariable)

namespace {

const char *const TypeNames[] = {"", "Bool", "Int8", "UInt8", "Int16", "UInt16", "Int32", "UInt32", "Float",
                                 "Int64", "UInt64", "Double"};

} // namespace

class TestFacades : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void identity_data();
    void identity();
    void roundTrip_data();
    void roundTrip();
    void bits_data();
    void bits();
    void resultCodes_data();
    void resultCodes();

private:
    BothDrivers plcs;
};

void TestFacades::initTestCase()
{
    registerLabelVariableTypes();
    QVERIFY(plcs.start());
}

void TestFacades::identity_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");
    QTest::newRow("s7") << "s7" << "Siemens_S7" << "V1.8.4 20230505";
    QTest::newRow("ppi") << "ppi" << "Siemens_PPI" << "V1.0.0 20200621";
}

void TestFacades::identity()
{
    QFETCH(QString, which);
    QFETCH(QString, name);
    QFETCH(QString, version);
    CDriveBaseClass *driver = plcs.driver(which);
    QCOMPARE(driver->getDriveName(), name);
    QCOMPARE(driver->DebugCmd(GetDriveName), name);
    QCOMPARE(driver->getversion_number(), version);
    // The debug command's version begins with a small v.
    QVERIFY(driver->DebugCmd(GetVersion).startsWith(QLatin1Char('v') + version.mid(1, version.indexOf(' '))));
    QVERIFY(driver->DebugCmd(EDebugCmdType(4)).isNull());
    QObject *object = dynamic_cast<QObject *>(driver);
    QVERIFY(object);
    QCOMPARE(object->qt_metacast("CDriveBaseClass"), static_cast<void *>(driver));
}

void TestFacades::roundTrip_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("address");
    QTest::addColumn<DataType>("type");
    QTest::addColumn<CLabelVariable>("value");
    QTest::addColumn<int>("area");      // where the text says the bytes go
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("byteAddress");
    QTest::addColumn<QByteArray>("memory");
    auto add = [](const char *which, const char *address, DataType type, const CLabelVariable &value, int area, int db,
                  int byte, const char *hex) {
        QTest::addRow("%s %s %s", which, TypeNames[type], address)
            << QString::fromLatin1(which) << QString::fromLatin1(address) << type << value << area << db << byte
            << QByteArray::fromHex(hex);
    };
    add("s7", "Q1.6", Bool, valueOf<bool>({true}), 0x82, 0, 1, "40");
    add("s7", "M3", Int8, valueOf<char>({char(0xC8), 5}), 0x83, 0, 3, "c805");
    add("s7", "V7", UInt8, valueOf<unsigned char>({250}), 0x84, 1, 7, "fa");
    add("s7", "DB5.DBW20", Int16, valueOf<short>({258, -2}), 0x84, 5, 20, "0102fffe");
    add("s7", "Q10", UInt16, valueOf<unsigned short>({65534}), 0x82, 0, 10, "fffe");
    add("s7", "DB5_DBD8", Int32, valueOf<int>({-2, 256}), 0x84, 5, 8, "fffffffe00000100");
    add("s7", "V_or_DB6.40", UInt32, valueOf<unsigned>({0x89ABCDEFu}), 0x84, 6, 40, "89abcdef");
    add("s7", "M100", Float, valueOf<float>({1.0f}), 0x83, 0, 100, "3f800000");
    add("s7", "DB100", Int64, valueOf<long long>({1}), 0x84, 100, 100, "0000000000000001");
    add("s7", "V_or_DB300", UInt64, valueOf<unsigned long long>({0x8000000000000000ull}), 0x84, 1, 300, "8000000000000000");
    add("s7", "DB2;DBW16", Double, valueOf<double>({1.0, -2.5}), 0x84, 2, 16, "3ff0000000000000c004000000000000");
    add("s7", "DB5.DBX30.3", Bool, valueOf<bool>({true}), 0x84, 5, 30, "08");
    // The size letter names the element, not another byte.
    add("s7", "MW10", Int16, valueOf<short>({258}), 0x83, 0, 10, "0102");
    add("ppi", "V10", Int8, valueOf<char>({char(0x81), 0x05}), 0x84, 1, 10, "8105");
    add("ppi", "DB5.DBB3", UInt8, valueOf<unsigned char>({200}), 0x84, 5, 3, "c8");
    add("ppi", "M20", Int16, valueOf<short>({258, -2}), 0x83, 0, 20, "0102fffe");
    add("ppi", "Q4", UInt16, valueOf<unsigned short>({65534}), 0x82, 0, 4, "fffe");
    add("ppi", "DB7.DBD8", Int32, valueOf<int>({-2}), 0x84, 7, 8, "fffffffe");
    add("ppi", "V_or_DB6.12", UInt32, valueOf<unsigned>({0x01020304u}), 0x84, 6, 12, "01020304");
    add("ppi", "VD30", Float, valueOf<float>({1.0f}), 0x84, 1, 30, "3f800000");
    add("ppi", "V40", Int64, valueOf<long long>({1}), 0x84, 1, 40, "0000000000000001");
    add("ppi", "V50", UInt64, valueOf<unsigned long long>({0x8000000000000000ull}), 0x84, 1, 50, "8000000000000000");
    add("ppi", "MW60", Double, valueOf<double>({1.0, -2.0}), 0x83, 0, 60, "3ff0000000000000c000000000000000");
}

void TestFacades::roundTrip()
{
    QFETCH(QString, which);
    QFETCH(QString, address);
    QFETCH(DataType, type);
    QFETCH(CLabelVariable, value);
    QFETCH(int, area);
    QFETCH(int, db);
    QFETCH(int, byteAddress);
    QFETCH(QByteArray, memory);
    CDriveBaseClass *driver = plcs.driver(which);
    const int count = elementsOf(value.value).size();
    const CLabelVariable written = driver->WriteVariable(address, type, value, count);
    QCOMPARE(written.resultCode, 0);
    QVERIFY(written.timeStamp.isValid());
    QCOMPARE(bytesFrom(type, written.value).toHex(), bytesFrom(type, value.value).toHex());
    QCOMPARE(written.address, address);
    QCOMPARE(written.count, count);
    QCOMPARE(written.type, int(type));
    // The bytes landed where the address says, in PLC order.
    QCOMPARE(plcs.stored(which, area, db, byteAddress, memory.size()).toHex(), memory.toHex());

    CLabelVariable read = driver->ReadVariable(address, type, count);
    QCOMPARE(read.resultCode, 0);
    if (type == Bool) {
        QCOMPARE(read.atbool(0), true);
        QCOMPARE(read.accessCode, 0);
    } else {
        // The list read back: same type, same elements.
        QCOMPARE(elementsOf(read.value).size(), count);
        QCOMPARE(bytesFrom(type, read.value).toHex(), memory.toHex());
    }
    QVERIFY(read.timeStamp.isValid());
    QCOMPARE(read.address, address);
    QCOMPARE(read.count, count);
    QCOMPARE(read.type, int(type));
}

// Consecutive bits from the start bit on, into the next byte; a written bit changes only itself.
void TestFacades::bits_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("byte");          // of M, where the address's bit lies
    QTest::addColumn<int>("bit");
    QTest::addColumn<QByteArray>("before"); // M at that byte and the next
    QTest::addColumn<QList<bool>>("read");  // the bits from the address on
    QTest::addColumn<bool>("written");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("s7 M20.7") << "s7" << 20 << 7 << QByteArray::fromHex("8001") << QList<bool>{true, true, false}
                              << false << QByteArray::fromHex("0001");
    QTest::newRow("ppi M70.6") << "ppi" << 70 << 6 << QByteArray::fromHex("0001") << QList<bool>{false, false, true}
                               << true << QByteArray::fromHex("4001");
}

void TestFacades::bits()
{
    QFETCH(QString, which);
    QFETCH(int, byte);
    QFETCH(int, bit);
    QFETCH(QByteArray, before);
    QFETCH(QList<bool>, read);
    QFETCH(bool, written);
    QFETCH(QByteArray, after);
    CDriveBaseClass *driver = plcs.driver(which);
    const QString address = QStringLiteral("M%1.%2").arg(byte).arg(bit);
    QVERIFY(plcs.memory(which).write(0x83, 0, byte, before));
    CLabelVariable bits = driver->ReadVariable(address, Bool, read.size());
    QCOMPARE(bits.resultCode, 0);
    QCOMPARE(bits.value.value<QList<bool>>().mid(0, read.size()), read);
    QCOMPARE(driver->WriteVariable(address, Bool, valueOf(QList<bool>{written})).resultCode, 0);
    QCOMPARE(plcs.stored(which, 0x83, 0, byte, 2).toHex(), after.toHex());
}

void TestFacades::resultCodes_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<CLabelVariable>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("sent");     // whether anything reached the PLC
    const CLabelVariable shorts = valueOf<short>({1, 2});
    const CLabelVariable none;
    const CLabelVariable twoBools = valueOf<bool>({true, true});
    // One element more than the count asks for, at least two.
    auto bytes = [](int count) { return valueOf(QVector<unsigned char>(qMax(count, 1) + 1, 0x11).toList()); };
    struct Row {
        const char *which;
        const char *name;
        bool write;
        const char *address;
        int type;
        int count;
        CLabelVariable value;
        int code;
        bool sent;
    };
    const Row rows[] = {
        {"s7", "read: no area keyword", false, "X5", Int16, 1, none, 5, false},
        {"s7", "read: negative byte address", false, "M-5", Int16, 1, none, 5, false},
        {"s7", "read: outside the grammar", false, "M1.2.3", Int16, 1, none, 3, false},
        {"s7", "read: count 0", false, "M10", Int16, 0, none, 4, false},
        {"s7", "read: last byte", false, "M65534", UInt8, 1, none, 0, true},
        {"s7", "read: beyond the last byte", false, "M65535", UInt8, 1, none, 5, false},
        {"s7", "read: type 0", false, "M10", 0, 1, none, 2, false},
        {"s7", "read: type String", false, "M10", String, 1, none, 2, true},
        {"s7", "read: PLC error item", false, "M65530", Double, 2, none, 7, true},
        {"s7", "read: PLC header error", false, "DB60006.DBW0", Int16, 1, none, 7, true},
        {"s7", "read: no answer", false, "DB60008.DBW0", Int16, 1, none, 8, true},
        {"s7", "read: no S7 PDU as the answer", false, "DB60025.DBW0", Int16, 1, none, 7, true},
        {"s7", "write: negative count", true, "M10", Int16, -1, shorts, 4, false},
        {"s7", "write: type 0", true, "M10", 0, 1, shorts, 2, false},
        {"s7", "write: list of another type", true, "M10", Int32, 1, shorts, 2, false},
        {"s7", "write: no list", true, "M10", Int16, 1, none, 2, false},
        {"s7", "write: too few elements", true, "M10", Int16, 3, shorts, 4, false},
        {"s7", "write: Bool count 2", true, "M10.1", Bool, 2, twoBools, 4, false},
        {"s7", "write: count 0", true, "M10", Int16, 0, shorts, 0, true},
        {"s7", "write: type String", true, "M10", String, 1, shorts, 2, false},
        {"s7", "write: PLC error item", true, "M65534", Int32, 1, valueOf<int>({1}), 7, true},
        {"s7", "write: larger than the PLC's PDU", true, "DB1.DBB0", UInt8, 1000, bytes(999), 0, true},
        {"s7", "read: more than 65535 bytes", false, "DB1.DBB0", Int16, 32768, none, 4, false},
        {"s7", "write: more than 65535 bytes", true, "DB1.DBB0", Int32, 16384, valueOf(QVector<int>(16384, 7).toList()), 4, false},
        {"s7", "write: malformed", true, "DB5.DBX20.12", Bool, 1, valueOf<bool>({true}), 3, false},
        // Into the inputs: written, and said so with its own code.
        {"s7", "write: inputs", true, "I4", UInt8, 1, valueOf<unsigned char>({0x77}), 6, true},
        {"ppi", "read, no area", false, "X5", UInt8, 1, none, 3, false},
        {"ppi", "read, malformed", false, "M1.2.3", UInt8, 1, none, 3, false},
        {"ppi", "read, negative count", false, "V0", UInt8, -1, none, 4, false},
        {"ppi", "read, count 0", false, "V0", UInt8, 0, none, 0, true},
        {"ppi", "read, negative address", false, "M-5", UInt8, 1, none, 5, false},
        {"ppi", "read, at 65535", false, "V65535", UInt8, 1, none, 5, false},
        {"ppi", "read, at 65534", false, "V65534", UInt8, 1, none, 0, true},
        {"ppi", "read, type 0", false, "V0", 0, 1, none, 2, false},
        {"ppi", "read, type 12", false, "V0", String, 1, none, 2, true},
        {"ppi", "read, 234 bytes", false, "V0", UInt8, 234, none, 0, true},
        {"ppi", "read, 235 bytes", false, "V0", UInt8, 235, none, 0, true},
        {"ppi", "read, 30 doubles", false, "V0", Double, 30, none, 0, true},
        {"ppi", "read, 65536 bytes", false, "V0", Int16, 32768, none, 4, false},
        {"ppi", "read, error item", false, "DB9010.DBB0", UInt8, 1, none, 7, true},
        {"ppi", "read, negative acknowledgement", false, "DB9002.DBB0", UInt8, 1, none, 7, true},
        {"ppi", "read, bad FCS", false, "DB9008.DBB0", UInt8, 1, none, 8, true},     // a broken frame is no answer
        {"ppi", "write, no area", true, "X5", UInt8, 1, bytes(1), 3, false},
        {"ppi", "write, count 0", true, "V0", UInt8, 0, bytes(0), 4, false},
        {"ppi", "write, negative address", true, "M-5", UInt8, 1, bytes(1), 5, false},
        {"ppi", "write, at 7999", true, "V7999", UInt8, 1, bytes(1), 0, true},
        {"ppi", "write, at 8000", true, "V8000", UInt8, 1, bytes(1), 5, false},
        {"ppi", "write, type 0", true, "V0", 0, 1, bytes(1), 2, false},
        {"ppi", "write, two Bools", true, "V0.1", Bool, 2, twoBools, 4, false},
        {"ppi", "write, 224 bytes", true, "V0", UInt8, 224, bytes(224), 0, true},
        {"ppi", "write, 225 bytes", true, "V0", UInt8, 225, bytes(225), 0, true},
        {"ppi", "write, inputs", true, "I0", UInt8, 1, bytes(1), 6, true},
        {"ppi", "write, error item", true, "DB9010.DBB0", UInt8, 1, bytes(1), 7, true},
    };
    for (const Row &r : rows)
        QTest::addRow("%s %s", r.which, r.name) << QString::fromLatin1(r.which) << r.write << QString::fromLatin1(r.address)
                                                << r.type << r.count << r.value << r.code << r.sent;
}

void TestFacades::resultCodes()
{
    QFETCH(QString, which);
    QFETCH(bool, write);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(CLabelVariable, value);
    QFETCH(int, code);
    QFETCH(bool, sent);
    CDriveBaseClass *driver = plcs.driver(which);
    const qint64 framesBefore = plcs.framesReceived(which);
    const CLabelVariable result = write ? driver->WriteVariable(address, DataType(type), value, count)
                                        : driver->ReadVariable(address, DataType(type), count);
    QCOMPARE(result.resultCode, code);
    QCOMPARE(result.address, address);
    QCOMPARE(result.count, count);
    QCOMPARE(result.type, type);
    QCOMPARE(plcs.framesReceived(which) != framesBefore, sent);
    // Refused writes leave the host's value as it came.
    if (write && code != 0 && code != 7)
        QCOMPARE(result.value.userType(), value.value.userType());
}

QTEST_GUILESS_MAIN(TestFacades)
#include "tst_facades.moc"
