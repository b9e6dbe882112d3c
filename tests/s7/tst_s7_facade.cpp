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

QTEST_GUILESS_MAIN(TestS7Facade)
#include "tst_s7_facade.moc"
