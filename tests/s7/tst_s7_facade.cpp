// The Korvane facade against the simulator's S7 server: connection texts, round trips of every
// type and area, and every result code.
#include <QtTest>

#include "LabelValues.h"
#include "LogCapture.h"
#include "SimulatorThread.h"
#include "korvane.h"

Q_DECLARE_METATYPE(CLabelVariable)

namespace {

// QVariant cannot compare the element lists; their encoded bytes can.
QByteArray bytesOf(int type, const CLabelVariable &v, int count)
{
    QByteArray out;
    ValueCodec::encodeByType(type, v, count, &out);
    return out.toHex();
}

} // namespace

class TestS7Facade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void identity();
    void connectText_data();
    void connectText();
    void roundTrip_data();
    void roundTrip();
    void boolBits();
    void sizeLetterAddressesWhatItSays();
    void resultCodes_data();
    void resultCodes();
    void writeIntoInputs();
    void linkDownAndPeerClosing();

private:
    void connectDriver(Korvane &k) { QCOMPARE(k.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(sim.port)), 0); }

    SimulatorThread sim;
};

void TestS7Facade::initTestCase()
{
    registerLabelVariableTypes();
    QVERIFY(sim.port != 0);
}

void TestS7Facade::identity()
{
    Korvane k;
    CDriveBaseClass *driver = &k;
    QCOMPARE(driver->getDriveName(), QStringLiteral("Siemens_S7"));
    QCOMPARE(driver->DebugCmd(GetDriveName), QStringLiteral("Siemens_S7"));
    QCOMPARE(driver->getversion_number(), QStringLiteral("V1.8.4 20230505"));
    QVERIFY(driver->DebugCmd(GetVersion).startsWith(QStringLiteral("v1.8.4 ")));
    QVERIFY(driver->DebugCmd(EDebugCmdType(4)).isNull());
    QCOMPARE(driver->DebugCmd(StartDebug), QStringLiteral("StartDebug"));
    QVERIFY(k.transport.debugFlag);
    QCOMPARE(driver->DebugCmd(StopDebug), QStringLiteral("StopDebug"));
    QVERIFY(!k.transport.debugFlag);
    QCOMPARE(k.qt_metacast("CDriveBaseClass"), static_cast<void *>(driver));
    QCOMPARE(k.qt_metacast("Korvane"), static_cast<void *>(&k));
    QCOMPARE(driver->SetConnectPar(QStringLiteral("abc")), 0);
    QCOMPARE(driver->SetConnectPar(QStringLiteral("2")), 2);
    QCOMPARE(k.connectPar, 2u);
    QCOMPARE(driver->DisConnectDrive(), 1);
    QCOMPARE(driver->DestroyFree(), 1);
}

void TestS7Facade::connectText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("plcTsap");     // the only remote TSAP the PLC takes; -1: any
    const int p = sim.port;
    QTest::newRow("address and port") << QStringLiteral("127.0.0.1:%1").arg(p) << 0 << "127.0.0.1" << p << -1;
    QTest::newRow("no address") << QStringLiteral(":%1").arg(p) << -1 << "" << p << -1;
    QTest::newRow("no port") << "127.0.0.1" << -1 << "127.0.0.1" << 0 << -1;
    QTest::newRow("port 0") << "127.0.0.1:0" << -1 << "127.0.0.1" << 0 << -1;
    QTest::newRow("port not a number") << "127.0.0.1:abc" << -1 << "127.0.0.1" << 0 << -1;
    QTest::newRow("port beyond 16 bits") << QStringLiteral("127.0.0.1:%1").arg(65536 + p) << -1 << "127.0.0.1" << 65536 + p << -1;
    QTest::newRow("negative port") << "127.0.0.1:-102" << -1 << "127.0.0.1" << -102 << -1;
    QTest::newRow("host name") << QStringLiteral("localhost:%1").arg(p) << -1 << "localhost" << p << -1;
    QTest::newRow("slot 2 at a PLC in slot 2") << QStringLiteral("127.0.0.1:%1,rack=0,slot=2").arg(p) << 0 << "127.0.0.1" << p << 0x0302;
    QTest::newRow("default TSAPs at a PLC in slot 2") << QStringLiteral("127.0.0.1:%1").arg(p) << -2 << "127.0.0.1" << p << 0x0302;
    QTest::newRow("rack 1 slot 3 pg") << QStringLiteral("127.0.0.1:%1,rack=1,slot=3,type=pg").arg(p) << 0 << "127.0.0.1" << p << 0x0123;
    QTest::newRow("TSAPs given") << QStringLiteral("127.0.0.1:%1,local-tsap=0300,remote-tsap=0200").arg(p) << 0 << "127.0.0.1" << p << 0x0200;
    QTest::newRow("rack 8: nothing sent") << QStringLiteral("127.0.0.1:%1,rack=8").arg(p) << -1 << "127.0.0.1" << p << -1;
    QTest::newRow("forms mixed: nothing sent") << QStringLiteral("127.0.0.1:%1,slot=1,remote-tsap=0200").arg(p) << -1 << "127.0.0.1" << p << -1;
}

void TestS7Facade::connectText()
{
    QFETCH(QString, text);
    QFETCH(int, result);
    QFETCH(QString, ip);
    QFETCH(int, port);
    QFETCH(int, plcTsap);
    sim.server->setRemoteTsap(plcTsap);
    const auto anyTsap = qScopeGuard([this] { sim.server->setRemoteTsap(-1); });
    const int connectionsBefore = sim.server->connectionCount();
    Korvane k;
    LogCapture log;
    QCOMPARE(k.ConnectDrive(text), result);
    QCOMPARE(k.ipAddress, ip);
    QCOMPARE(k.ipPort, port);
    if (result == -1) {
        QCOMPARE(sim.server->connectionCount(), connectionsBefore);
        // A refused field is named with its value in one warning line.
        const int comma = text.indexOf(QLatin1Char(','));
        if (comma > 0)
            QCOMPARE(log.lines(QtWarningMsg).size(), 1);
    }
}

void TestS7Facade::roundTrip_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<CLabelVariable>("value");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("byteAddress");
    QTest::addColumn<QByteArray>("memory");
    QTest::newRow("Bool Q1.6") << "Q1.6" << int(Bool) << valueOf(QList<bool>{true}) << 1 << 0x82 << 0 << 1 << QByteArray::fromHex("40");
    QTest::newRow("Int8 M3") << "M3" << int(Int8) << valueOf(QList<char>{char(0xC8), 5}) << 2 << 0x83 << 0 << 3 << QByteArray::fromHex("c805");
    QTest::newRow("UInt8 V7") << "V7" << int(UInt8) << valueOf(QList<unsigned char>{250}) << 1 << 0x84 << 1 << 7 << QByteArray::fromHex("fa");
    QTest::newRow("Int16 DB5.DBW20") << "DB5.DBW20" << int(Int16) << valueOf(QList<short>{258, -2}) << 2 << 0x84 << 5 << 20 << QByteArray::fromHex("0102fffe");
    QTest::newRow("UInt16 Q10") << "Q10" << int(UInt16) << valueOf(QList<unsigned short>{65534}) << 1 << 0x82 << 0 << 10 << QByteArray::fromHex("fffe");
    QTest::newRow("Int32 DB5_DBD8") << "DB5_DBD8" << int(Int32) << valueOf(QList<int>{-2, 256}) << 2 << 0x84 << 5 << 8 << QByteArray::fromHex("fffffffe00000100");
    QTest::newRow("UInt32 V_or_DB6.40") << "V_or_DB6.40" << int(UInt32) << valueOf(QList<unsigned int>{0x89ABCDEFu}) << 1 << 0x84 << 6 << 40 << QByteArray::fromHex("89abcdef");
    QTest::newRow("Float M100") << "M100" << int(Float) << valueOf(QList<float>{1.0f}) << 1 << 0x83 << 0 << 100 << QByteArray::fromHex("3f800000");
    QTest::newRow("Int64 DB100") << "DB100" << int(Int64) << valueOf(QList<long long>{1}) << 1 << 0x84 << 100 << 100 << QByteArray::fromHex("0000000000000001");
    QTest::newRow("UInt64 V_or_DB300") << "V_or_DB300" << int(UInt64) << valueOf(QList<unsigned long long>{0x8000000000000000ull}) << 1 << 0x84 << 1 << 300 << QByteArray::fromHex("8000000000000000");
    QTest::newRow("Double DB2;DBW16") << "DB2;DBW16" << int(Double) << valueOf(QList<double>{1.0, -2.5}) << 2 << 0x84 << 2 << 16 << QByteArray::fromHex("3ff0000000000000c004000000000000");
    QTest::newRow("Bool DB5.DBX30.3") << "DB5.DBX30.3" << int(Bool) << valueOf(QList<bool>{true}) << 1 << 0x84 << 5 << 30 << QByteArray::fromHex("08");
}

void TestS7Facade::roundTrip()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(CLabelVariable, value);
    QFETCH(int, count);
    QFETCH(int, area);
    QFETCH(int, db);
    QFETCH(int, byteAddress);
    QFETCH(QByteArray, memory);
    Korvane k;
    connectDriver(k);
    CLabelVariable written = k.WriteVariable(address, DataType(type), value, count);
    QCOMPARE(written.resultCode, 0);
    QVERIFY(written.timeStamp.isValid());
    QCOMPARE(bytesOf(type, written, count), bytesOf(type, value, count));
    QCOMPARE(written.address, address);
    QCOMPARE(written.count, count);
    QCOMPARE(written.type, type);
    QByteArray stored;
    QVERIFY(sim.memory.read(area, db, byteAddress, memory.size(), &stored));
    QCOMPARE(stored.toHex(), memory.toHex());

    CLabelVariable read = k.ReadVariable(address, DataType(type), count);
    QCOMPARE(read.resultCode, 0);
    if (type == Bool) {
        QCOMPARE(read.atbool(0), true);
        QCOMPARE(read.accessCode, 0);
    } else {
        QCOMPARE(bytesOf(type, read, count), bytesOf(type, value, count));
    }
    QVERIFY(read.timeStamp.isValid());
    QCOMPARE(read.address, address);
    QCOMPARE(read.count, count);
    QCOMPARE(read.type, type);
}

void TestS7Facade::boolBits()
{
    Korvane k;
    connectDriver(k);
    QVERIFY(sim.memory.write(0x83, 0, 20, QByteArray::fromHex("8001")));
    // Consecutive bits from M20.7 on: bit 7 of M20, then bits 0 and 1 of M21.
    CLabelVariable bits = k.ReadVariable(QStringLiteral("M20.7"), Bool, 3);
    QCOMPARE(bits.resultCode, 0);
    QCOMPARE(bits.atbool(0), true);
    QCOMPARE(bits.atbool(1), true);
    QCOMPARE(bits.atbool(2), false);
    // A false bit clears only its own bit.
    QCOMPARE(k.WriteVariable(QStringLiteral("M20.7"), Bool, valueOf(QList<bool>{false})).resultCode, 0);
    QByteArray stored;
    QVERIFY(sim.memory.read(0x83, 0, 20, 2, &stored));
    QCOMPARE(stored.toHex(), QByteArray("0001"));
}

void TestS7Facade::sizeLetterAddressesWhatItSays()
{
    Korvane k;
    connectDriver(k);
    QVERIFY(sim.memory.write(0x83, 0, 0, QByteArray::fromHex("dead")));
    QVERIFY(sim.memory.write(0x83, 0, 10, QByteArray::fromHex("0102")));
    CLabelVariable v = k.ReadVariable(QStringLiteral("MW10"), Int16);
    QCOMPARE(v.resultCode, 0);
    QCOMPARE(v.atInt16(0), short(258));
}

void TestS7Facade::resultCodes_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<CLabelVariable>("value");
    QTest::addColumn<int>("code");
    const CLabelVariable shorts = valueOf(QList<short>{1, 2});
    const CLabelVariable none;
    QTest::newRow("read: no area keyword") << false << "X5" << int(Int16) << 1 << none << 5;
    QTest::newRow("read: negative byte address") << false << "M-5" << int(Int16) << 1 << none << 5;
    QTest::newRow("read: outside the grammar") << false << "M1.2.3" << int(Int16) << 1 << none << 3;
    QTest::newRow("read: count 0") << false << "M10" << int(Int16) << 0 << none << 4;
    QTest::newRow("read: last byte") << false << "M65534" << int(UInt8) << 1 << none << 0;
    QTest::newRow("read: beyond the last byte") << false << "M65535" << int(UInt8) << 1 << none << 5;
    QTest::newRow("read: type 0") << false << "M10" << 0 << 1 << none << 2;
    QTest::newRow("read: type String") << false << "M10" << int(String) << 1 << none << 2;
    QTest::newRow("read: PLC error item") << false << "M65530" << int(Double) << 2 << none << 7;
    QTest::newRow("read: PLC header error") << false << "DB60006.DBW0" << int(Int16) << 1 << none << 7;
    QTest::newRow("read: no answer") << false << "DB60008.DBW0" << int(Int16) << 1 << none << 8;
    QTest::newRow("write: negative count") << true << "M10" << int(Int16) << -1 << shorts << 4;
    QTest::newRow("write: type 0") << true << "M10" << 0 << 1 << shorts << 2;
    QTest::newRow("write: list of another type") << true << "M10" << int(Int32) << 1 << shorts << 2;
    QTest::newRow("write: no list") << true << "M10" << int(Int16) << 1 << none << 2;
    QTest::newRow("write: too few elements") << true << "M10" << int(Int16) << 3 << shorts << 4;
    QTest::newRow("write: Bool count 2") << true << "M10.1" << int(Bool) << 2 << valueOf(QList<bool>{true, true}) << 4;
    QTest::newRow("write: count 0") << true << "M10" << int(Int16) << 0 << shorts << 0;
    QTest::newRow("write: type String") << true << "M10" << int(String) << 1 << shorts << 2;
    QTest::newRow("write: PLC error item") << true << "M65534" << int(Int32) << 1 << valueOf(QList<int>{1}) << 7;
    QTest::newRow("write: larger than the PLC's PDU") << true << "DB1.DBB0" << int(UInt8) << 1000
                                                   << valueOf(QVector<unsigned char>(1000, 7).toList()) << 0;
    QTest::newRow("read: more than 65535 bytes") << false << "DB1.DBB0" << int(Int16) << 32768 << none << 4;
    QTest::newRow("write: more than 65535 bytes") << true << "DB1.DBB0" << int(Int32) << 16384
                                                  << valueOf(QVector<int>(16384, 7).toList()) << 4;
    QTest::newRow("write: malformed") << true << "DB5.DBX20.12" << int(Bool) << 1 << valueOf(QList<bool>{true}) << 3;
}

void TestS7Facade::resultCodes()
{
    QFETCH(bool, write);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(CLabelVariable, value);
    QFETCH(int, code);
    Korvane k;
    connectDriver(k);
    const QByteArray jobBefore = sim.server->lastJob();
    const CLabelVariable result = write ? k.WriteVariable(address, DataType(type), value, count)
                                        : k.ReadVariable(address, DataType(type), count);
    QCOMPARE(result.resultCode, code);
    QCOMPARE(result.address, address);
    QCOMPARE(result.count, count);
    QCOMPARE(result.type, type);
    // Refused writes leave the host's value as it came and send nothing.
    if (write && code != 0 && code != 7) {
        QCOMPARE(result.value.userType(), value.value.userType());
        QCOMPARE(sim.server->lastJob(), jobBefore);
    }
}

void TestS7Facade::writeIntoInputs()
{
    Korvane k;
    connectDriver(k);
    const CLabelVariable r = k.WriteVariable(QStringLiteral("I4"), UInt8, valueOf(QList<unsigned char>{0x77}));
    QCOMPARE(r.resultCode, 6);
    QByteArray stored;
    QVERIFY(sim.memory.read(0x81, 0, 4, 1, &stored));
    QCOMPARE(stored.toHex(), QByteArray("77"));
}

void TestS7Facade::linkDownAndPeerClosing()
{
    Korvane k;
    CLabelVariable r = k.ReadVariable(QStringLiteral("M0"), UInt8);
    QCOMPARE(r.resultCode, 9);
    QVERIFY(r.timeStamp.isNull());
    QVERIFY(!r.value.isValid());
    connectDriver(k);
    QCOMPARE(k.ReadVariable(QStringLiteral("DB60007.DBB0"), UInt8).resultCode, 8);
    QCOMPARE(k.ReadVariable(QStringLiteral("M0"), UInt8).resultCode, 9);
    QCOMPARE(k.WriteVariable(QStringLiteral("M0"), UInt8, valueOf(QList<unsigned char>{1})).resultCode, 9);
    connectDriver(k);
    QCOMPARE(k.ReadVariable(QStringLiteral("M0"), UInt8).resultCode, 0);
    QCOMPARE(k.DisConnectDrive(), 0);
    QCOMPARE(k.DestroyFree(), 0);
    QCOMPARE(k.DestroyFree(), 1);
}

QTEST_GUILESS_MAIN(TestS7Facade)
#include "tst_s7_facade.moc"
