// The Pellimor facade end to end against the simulated station: what is its own beside what both
// drivers share (tst_facades): connection texts, the bit item on the wire, the link's states and
// the station address between requests.
#include <QtTest>

#include <memory>

#include "LabelValues.h"
#include "SimulatorThreads.h"
#include "pellimor.h"


class TestPpiFacade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void connectionTexts_data();
    void connectionTexts();
    void disconnect();
    void bitItemOnTheWire();
    void linkStates();
    void stationBetweenRequests();

private:
    QString serialText(const QString &rest) const { return pty.filePath(QStringLiteral("tty")) + rest; }
    QString gatewayText() const { return QStringLiteral("127.0.0.1:%1").arg(gateway->port()); }
    QList<QByteArray> frames() const { return gateway->station->receivedFrames(); }

    QTemporaryDir pty;
    std::unique_ptr<StationThread> gateway;
    std::unique_ptr<StationThread> serial;
    std::unique_ptr<Pellimor> driver;     // connected to the gateway with station 2
};

void TestPpiFacade::initTestCase()
{
    gateway = std::make_unique<StationThread>(StationThread::Medium::Gateway);
    serial = std::make_unique<StationThread>(StationThread::Medium::Pty, 2, pty.filePath(QStringLiteral("tty")));
    QVERIFY(gateway->ok() && serial->ok());
    driver = std::make_unique<Pellimor>();
    driver->SetConnectPar(QStringLiteral("2"));
    QCOMPARE(driver->ConnectDrive(gatewayText()), 0);
}

void TestPpiFacade::init()
{
    gateway->station->clearReceivedFrames();
}

void TestPpiFacade::connectionTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::newRow("no separator") << "COM1" << -4;
    QTest::newRow("serial, empty port name") << ",9600,8,1,N" << -1;
    QTest::newRow("serial, baud rate not a number") << "/dev/ttyS1,fast,8,1,N" << -1;
    QTest::newRow("serial, stop bits 0") << "/dev/ttyS1,9600,8,0,N" << -1;
    QTest::newRow("serial, port does not open") << "/nonexistent/tty,9600,8,1,N" << -1;
    QTest::newRow("serial") << "@pty,9600,8,1,E" << 0;
    // Too few fields: every number is read from "9600", and 9600 data bits name nothing known.
    QTest::newRow("serial, two fields") << "@pty,9600" << -1;
    QTest::newRow("ethernet, no port") << "192.0.2.10:" << -1;
    QTest::newRow("ethernet, no address") << ":102" << -1;
    QTest::newRow("ethernet, port 0") << "127.0.0.1:0" << -1;
    QTest::newRow("ethernet, port above 65535") << "127.0.0.1:65537" << -1;
    QTest::newRow("ethernet, negative port") << "127.0.0.1:-5" << -1;
    QTest::newRow("ethernet, host name") << "plc.example:102" << -1;
    QTest::newRow("ethernet") << "@gateway" << 0;
}

void TestPpiFacade::connectionTexts()
{
    QFETCH(QString, text);
    QFETCH(int, result);
    if (text == QLatin1String("@gateway"))
        text = gatewayText();
    else if (text.startsWith(QLatin1String("@pty")))
        text = serialText(text.mid(4));
    Pellimor p;
    p.SetConnectPar(QStringLiteral("2"));
    QCOMPARE(p.ConnectDrive(text), result);
    if (result == 0) {
        const CLabelVariable r = p.ReadVariable(QStringLiteral("V0"), UInt8);
        QCOMPARE(r.resultCode, 0);
    }
}

void TestPpiFacade::disconnect()
{
    Pellimor fresh;
    QCOMPARE(fresh.DisConnectDrive(), 1);     // no settings parsed yet
    QCOMPARE(fresh.ConnectDrive(QStringLiteral(",9600,8,1,N")), -1);
    QCOMPARE(fresh.DisConnectDrive(), 0);     // serial settings complete, no port: nothing to close
    QCOMPARE(fresh.DestroyFree(), 1);

    Pellimor p;
    p.SetConnectPar(QStringLiteral("2"));
    QCOMPARE(p.ConnectDrive(gatewayText()), 0);
    QCOMPARE(p.ConnectDrive(serialText(QStringLiteral(",9600,8,1,N"))), 0);
    // With a gateway port known, disconnecting closes the TCP link, even after a serial connect.
    QCOMPARE(p.DisConnectDrive(), 0);
    QCOMPARE(p.ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 9);
    QCOMPARE(p.DestroyFree(), 0);
    QCOMPARE(p.DestroyFree(), 0);             // the socket is still there after the port
    QCOMPARE(p.DestroyFree(), 1);
}

void TestPpiFacade::bitItemOnTheWire()
{
    gateway->memory.write(0x83, 0, 70, QByteArray::fromHex("0000"));
    QCOMPARE(driver->WriteVariable(QStringLiteral("M70.6"), Bool, valueOf<bool>({true})).resultCode, 0);
    // One bit item: transport size 0x01, data transport size 0x03, length 1 bit.
    QCOMPARE(frames().first().mid(7 + 15, 1).toHex(), QByteArray("01"));
    QCOMPARE(frames().first().mid(7 + 25, 3).toHex(), QByteArray("030001"));
    QByteArray stored;
    gateway->memory.read(0x83, 0, 70, 1, &stored);
    QCOMPARE(stored.toHex(), QByteArray("40"));
}

void TestPpiFacade::linkStates()
{
    // Nothing opened yet: the link is not up and nothing goes out.
    Pellimor p;
    QCOMPARE(p.ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 9);
    // A value that cannot supply the elements is refused before the link is asked.
    QCOMPARE(p.WriteVariable(QStringLiteral("V0"), Int16, valueOf<int>({1})).resultCode, 2);
    QCOMPARE(p.WriteVariable(QStringLiteral("V0"), Int16, valueOf<short>({1}), 2).resultCode, 4);
    p.SetConnectPar(QStringLiteral("2"));
    QCOMPARE(p.ConnectDrive(serialText(QStringLiteral(",19200,8,1,N"))), 0);
    QCOMPARE(p.ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 0);
    QCOMPARE(p.DisConnectDrive(), 0);
    QCOMPARE(p.ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 9);
    CLabelVariable value = valueOf<short>({7});
    value.resultCode = 42;
    const CLabelVariable w = p.WriteVariable(QStringLiteral("V0"), Int16, value);
    QCOMPARE(w.resultCode, 9);
    QCOMPARE(w.value.value<QList<short>>(), QList<short>{7});
}

void TestPpiFacade::stationBetweenRequests()
{
    QCOMPARE(driver->SetConnectPar(QStringLiteral("abc")), 0);
    QCOMPARE(driver->SetConnectPar(QStringLiteral("3")), 3);
    // No station 3 on this line: the request is not answered.
    QCOMPARE(driver->ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 8);
    QCOMPARE(frames().value(0).mid(4, 1).toHex(), QByteArray("03"));
    QCOMPARE(driver->SetConnectPar(QStringLiteral("2")), 2);
    QCOMPARE(driver->ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 0);
}

QTEST_GUILESS_MAIN(TestPpiFacade)
#include "tst_ppi_facade.moc"
