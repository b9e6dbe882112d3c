// The Korvane facade against the simulator's S7 server: what is its own beside what both drivers
// share (tst_facades): the debug flag, connection texts, a link that goes down.
#include <QtTest>

#include "LabelValues.h"
#include "LogCapture.h"
#include "SimulatorThreads.h"
#include "korvane.h"

class TestS7Facade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void identity();
    void connectText_data();
    void connectText();
    void linkDownAndPeerClosing();
    void timerCounterFamily_data();
    void timerCounterFamily();

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
    QCOMPARE(driver->DebugCmd(StartDebug), QStringLiteral("StartDebug"));
    QVERIFY(k.transport.debugFlag);
    QCOMPARE(driver->DebugCmd(StopDebug), QStringLiteral("StopDebug"));
    QVERIFY(!k.transport.debugFlag);
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


// Timers and counters read right on either family without the user naming it: S7-300/400 codes
// first, the S7-200 codes once after a refusal with 0x03, and from then on for the connection;
// a new connection learns afresh. An S7-200's timers take no writes: refused (3), nothing written.
void TestS7Facade::timerCounterFamily_data()
{
    QTest::addColumn<bool>("s7_200");
    QTest::addColumn<int>("records");
    QTest::newRow("S7-300") << false << 2;
    QTest::newRow("S7-200, 5-byte records") << true << 5;
    QTest::newRow("S7-200, 3-byte records") << true << 3;
}

void TestS7Facade::timerCounterFamily()
{
    QFETCH(bool, s7_200);
    QFETCH(int, records);
    SimulatorThread plc;
    plc.server->setFamily(s7_200, records);
    const int timers = s7_200 ? 0x1F : 0x1D, counters = s7_200 ? 0x1E : 0x1C;
    // T37 and T38 hold 15 s in each family's form, C5 the count 42.
    QVERIFY(plc.memory.write(timers, 0, 2 * 37, QByteArray::fromHex(s7_200 ? "00960096" : "11501150")));
    QVERIFY(plc.memory.write(counters, 0, 2 * 5, QByteArray::fromHex(s7_200 ? "002a" : "0042")));
    // The item's transport size and area byte of the last job the PLC received (TPKT and COTP ahead).
    auto lastItem = [&] { return plc.server->lastJob().mid(7 + 15, 1).toHex() + plc.server->lastJob().mid(7 + 20, 1).toHex(); };
    const QByteArray timerItem = QByteArray::number(timers, 16).repeated(2);
    const QByteArray counterItem = QByteArray::number(counters, 16).repeated(2);
    Korvane k;
    CDriveBaseClass *drv = &k;
    const QString at = QStringLiteral("127.0.0.1:%1").arg(plc.port);
    QCOMPARE(drv->ConnectDrive(at), 0);
    CLabelVariable ms;
    ms.value = listOf<int>({2000});

    int jobs = plc.server->jobCount();
    CLabelVariable r = drv->ReadVariable(QStringLiteral("T37"), Int32, 1);
    QCOMPARE(r.resultCode, 0);
    QCOMPARE(elementsOf(r.value), elementsOf(listOf<int>({15000})));
    QCOMPARE(plc.server->jobCount() - jobs, s7_200 ? 2 : 1);
    QCOMPARE(lastItem(), timerItem);
    for (const char *address : {"C5", "T38"}) {
        jobs = plc.server->jobCount();
        r = drv->ReadVariable(QString::fromLatin1(address), Int32, 1);
        QCOMPARE(r.resultCode, 0);
        QCOMPARE(elementsOf(r.value).at(0).toInt(), address[0] == 'C' ? 42 : 15000);
        QCOMPARE(plc.server->jobCount() - jobs, 1);
        QCOMPARE(lastItem(), address[0] == 'C' ? counterItem : timerItem);
    }
    jobs = plc.server->jobCount();
    QCOMPARE(drv->WriteVariable(QStringLiteral("T37"), Int32, ms, 1).resultCode, s7_200 ? 3 : 0);
    QCOMPARE(plc.server->jobCount() - jobs, s7_200 ? 0 : 1);

    // A new connection: a write first takes the S7-300/400 codes; an S7-200 refuses it.
    QCOMPARE(drv->ConnectDrive(at), 0);
    QByteArray before;
    QVERIFY(plc.memory.read(timers, 0, 2 * 37, 2, &before));
    jobs = plc.server->jobCount();
    QCOMPARE(drv->WriteVariable(QStringLiteral("T37"), Int32, ms, 1).resultCode, s7_200 ? 3 : 0);
    QCOMPARE(plc.server->jobCount() - jobs, 1);
    QByteArray after;
    QVERIFY(plc.memory.read(timers, 0, 2 * 37, 2, &after));
    QCOMPARE(after.toHex(), s7_200 ? before.toHex() : QByteArray("0200"));
    jobs = plc.server->jobCount();
    QCOMPARE(drv->ReadVariable(QStringLiteral("C5"), Int16, 1).resultCode, 0);
    QCOMPARE(plc.server->jobCount() - jobs, 1);
    QCOMPARE(lastItem(), counterItem);
}

QTEST_GUILESS_MAIN(TestS7Facade)
#include "tst_s7_facade.moc"
