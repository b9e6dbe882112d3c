// The Pellimor facade end to end against the simulated station: what is its own beside what both
// drivers share (tst_facades): connection texts, the bit item on the wire, the link's states and
// the station address between requests.
#include <QtTest>

#include <memory>

#include "LabelValues.h"
#include "LogCapture.h"
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
    void disconnect_data();
    void disconnect();
    void bitItemOnTheWire();
    void linkStates();
    void stationBetweenRequests();

private:
    QString serialText(const QString &rest) const { return pty.filePath(QStringLiteral("tty")) + rest; }
    QString gatewayText() const { return QStringLiteral("127.0.0.1:%1").arg(gateway->port()); }
    // "@gateway" and "@pty" stand for the simulated stations' texts.
    QString text(const QString &t) const
    {
        if (t.startsWith(QLatin1String("@gateway")))
            return gatewayText() + t.mid(8);
        return t.startsWith(QLatin1String("@pty")) ? serialText(t.mid(4)) : t;
    }
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
    QTest::addColumn<QString>("station");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("warning");   // the one warning line expected, if any
    QTest::newRow("no separator") << "COM1" << "2" << -4 << QString();
    QTest::newRow("serial, empty port name") << ",9600,8,1,N" << "2" << -1 << QString();
    QTest::newRow("serial, baud rate not a number") << "/dev/ttyS1,fast,8,1,N" << "2" << -1 << QString();
    QTest::newRow("serial, stop bits 0") << "/dev/ttyS1,9600,8,0,N" << "2" << -1 << QString();
    QTest::newRow("serial, port does not open") << "/nonexistent/tty,9600,8,1,N" << "2" << -1 << QString();
    QTest::newRow("serial") << "@pty,9600,8,1,E" << "2" << 0 << QString();
    // Too few fields: every number is read from "9600", and 9600 data bits name nothing known.
    QTest::newRow("serial, two fields") << "@pty,9600" << "2" << -1 << QString();
    QTest::newRow("ethernet, no port") << "192.0.2.10:" << "2" << -1 << QString();
    QTest::newRow("ethernet, no address") << ":102" << "2" << -1 << QString();
    QTest::newRow("ethernet, port 0") << "127.0.0.1:0" << "2" << -1 << QString();
    QTest::newRow("ethernet, port above 65535") << "127.0.0.1:65537" << "2" << -1 << QString();
    QTest::newRow("ethernet, negative port") << "127.0.0.1:-5" << "2" << -1 << QString();
    QTest::newRow("ethernet, host name") << "plc.example:102" << "2" << -1 << QString();
    QTest::newRow("ethernet") << "@gateway" << "2" << 0 << QString();
    QTest::newRow("ethernet, master 1") << "@gateway,master=1" << "2" << 0 << QString();
    QTest::newRow("serial, master 126") << "@pty,9600,8,1,E,Master=126" << "2" << 0 << QString();
    QTest::newRow("master 0") << "@gateway,master=0" << "2" << -1 << "lib[Siemens_PPI]连接参数无效 master=0";
    QTest::newRow("master 127") << "@pty,9600,8,1,E,master=127" << "2" << -1 << "lib[Siemens_PPI]连接参数无效 master=127";
    QTest::newRow("master twice") << "@gateway,master=1,master=2" << "2" << -1 << "lib[Siemens_PPI]连接参数无效 master=2";
    QTest::newRow("unknown field") << "@gateway,rack=1" << "2" << -1 << "lib[Siemens_PPI]连接参数无效 rack=1";
    // Stations outside 1..126 are refused, never masked to another station; nothing is sent.
    QTest::newRow("station 0") << "@gateway" << "0" << -1 << "lib[Siemens_PPI]站地址无效 0 (1..126)";
    QTest::newRow("station 127") << "@gateway" << "127" << -1 << "lib[Siemens_PPI]站地址无效 127 (1..126)";
    QTest::newRow("station 255") << "@pty,9600,8,1,E" << "255" << -1 << "lib[Siemens_PPI]站地址无效 255 (1..126)";
    QTest::newRow("station 258") << "@gateway" << "258" << -1 << "lib[Siemens_PPI]站地址无效 258 (1..126)";
}

void TestPpiFacade::connectionTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, station);
    QFETCH(int, result);
    QFETCH(QString, warning);
    Pellimor p;
    QCOMPARE(p.SetConnectPar(station), station.toInt());
    LogCapture log;
    QCOMPARE(p.ConnectDrive(this->text(text)), result);
    if (!warning.isEmpty())
        QCOMPARE(log.lines(QtWarningMsg), QStringList{warning});
    const CLabelVariable r = p.ReadVariable(QStringLiteral("V0"), UInt8);
    QCOMPARE(r.resultCode, result == 0 ? 0 : 9);
    if (result != 0)
        QCOMPARE(frames(), QList<QByteArray>{});
    // A station set between requests is checked as well.
    if (result == 0 && station == QLatin1String("2")) {
        QCOMPARE(p.SetConnectPar(QStringLiteral("258")), 258);
        QCOMPARE(p.ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 9);
    }
}

void TestPpiFacade::disconnect_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("connected");
    QTest::addColumn<int>("value");     // what V0 reads after the second connect; -1: result 9
    QTest::addColumn<bool>("destroy");  // released by DestroyFree instead of DisConnectDrive
    // Two PLCs whose V0 differ: the value tells which one the frames reached.
    QTest::newRow("gateway, then serial") << "@gateway" << "@pty,9600,8,1,N" << 0 << 222 << false;
    QTest::newRow("serial, then gateway") << "@pty,9600,8,1,N" << "@gateway" << 0 << 111 << false;
    QTest::newRow("gateway, then a port that does not open") << "@gateway" << "/nonexistent/tty,9600,8,1,N" << -1 << -1 << false;
    QTest::newRow("gateway, then serial, destroyed") << "@gateway" << "@pty,9600,8,1,N" << 0 << 222 << true;
    QTest::newRow("serial, then gateway, destroyed") << "@pty,9600,8,1,N" << "@gateway" << 0 << 111 << true;
}

void TestPpiFacade::disconnect()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, connected);
    QFETCH(int, value);
    QFETCH(bool, destroy);
    Pellimor fresh;
    QCOMPARE(fresh.DisConnectDrive(), 1);     // no settings parsed yet
    QCOMPARE(fresh.ConnectDrive(QStringLiteral(",9600,8,1,N")), -1);
    QCOMPARE(fresh.DisConnectDrive(), 0);     // serial settings complete, no port: nothing to close
    QCOMPARE(fresh.DestroyFree(), 1);

    gateway->memory.write(0x84, 1, 0, QByteArray(1, char(111)));
    serial->memory.write(0x84, 1, 0, QByteArray(1, char(222)));
    Pellimor p;
    p.SetConnectPar(QStringLiteral("2"));
    QCOMPARE(p.ConnectDrive(text(first)), 0);
    QCOMPARE(p.ConnectDrive(text(second)), connected);
    const CLabelVariable r = p.ReadVariable(QStringLiteral("V0"), UInt8);
    QCOMPARE(r.resultCode, value < 0 ? 9 : 0);
    if (value >= 0)
        QCOMPARE(r.value.value<QList<quint8>>(), QList<quint8>{quint8(value)});
    if (!destroy)
        QCOMPARE(p.DisConnectDrive(), 0);
    QCOMPARE(p.DestroyFree(), 0);
    QCOMPARE(p.ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 9);
    QCOMPARE(p.DestroyFree(), 1);             // one medium, released once
    // Nothing of the object holds the serial line: another opens it and reads.
    Pellimor next;
    next.SetConnectPar(QStringLiteral("2"));
    QCOMPARE(next.ConnectDrive(text(QStringLiteral("@pty,9600,8,1,N"))), 0);
    QCOMPARE(next.ReadVariable(QStringLiteral("V0"), UInt8).resultCode, 0);
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
