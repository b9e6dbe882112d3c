// The Pellimor facade end to end against the simulated station: connection texts, every
// element type, the result codes and the station address between requests.
#include <QtTest>

#include <memory>

#include "LabelValues.h"
#include "StationThread.h"
#include "pellimor.h"

Q_DECLARE_METATYPE(DataType)
Q_DECLARE_METATYPE(CLabelVariable)

class TestPpiFacade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void connectionTexts_data();
    void connectionTexts();
    void disconnect();
    void everyType_data();
    void everyType();
    void boolReadAndWrite();
    void resultCodes_data();
    void resultCodes();
    void linkStates();
    void stationBetweenRequests();
    void identity();

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

void TestPpiFacade::everyType_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<DataType>("type");
    QTest::addColumn<CLabelVariable>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("area");      // where the text says the bytes go
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("byteAddress");
    QTest::newRow("Int8") << "V10" << Int8 << valueOf<char>({char(0x81), 0x05}) << QByteArray::fromHex("8105") << 0x84 << 1 << 10;
    QTest::newRow("UInt8") << "DB5.DBB3" << UInt8 << valueOf<unsigned char>({200}) << QByteArray::fromHex("c8") << 0x84 << 5 << 3;
    QTest::newRow("Int16") << "M20" << Int16 << valueOf<short>({258, -2}) << QByteArray::fromHex("0102fffe") << 0x83 << 0 << 20;
    QTest::newRow("UInt16") << "Q4" << UInt16 << valueOf<unsigned short>({65534}) << QByteArray::fromHex("fffe") << 0x82 << 0 << 4;
    QTest::newRow("Int32") << "DB7.DBD8" << Int32 << valueOf<int>({-2}) << QByteArray::fromHex("fffffffe") << 0x84 << 7 << 8;
    QTest::newRow("UInt32") << "V_or_DB6.12" << UInt32 << valueOf<unsigned>({0x01020304u}) << QByteArray::fromHex("01020304") << 0x84 << 6 << 12;
    QTest::newRow("Float") << "VD30" << Float << valueOf<float>({1.0f}) << QByteArray::fromHex("3f800000") << 0x84 << 1 << 30;
    QTest::newRow("Int64") << "V40" << Int64 << valueOf<long long>({1}) << QByteArray::fromHex("0000000000000001") << 0x84 << 1 << 40;
    QTest::newRow("UInt64") << "V50" << UInt64 << valueOf<unsigned long long>({0x8000000000000000ull})
                            << QByteArray::fromHex("8000000000000000") << 0x84 << 1 << 50;
    QTest::newRow("Double") << "MW60" << Double << valueOf<double>({1.0, -2.0})
                            << QByteArray::fromHex("3ff0000000000000c000000000000000") << 0x83 << 0 << 60;
}

void TestPpiFacade::everyType()
{
    QFETCH(QString, address);
    QFETCH(DataType, type);
    QFETCH(CLabelVariable, value);
    QFETCH(QByteArray, bytes);
    QFETCH(int, area);
    QFETCH(int, db);
    QFETCH(int, byteAddress);
    const int count = ValueCodec::heldElements(type, value);
    const CLabelVariable written = driver->WriteVariable(address, type, value, count);
    QCOMPARE(written.resultCode, 0);
    QCOMPARE(written.address, address);
    QCOMPARE(written.count, count);
    QCOMPARE(written.type, int(type));

    const CLabelVariable read = driver->ReadVariable(address, type, count);
    QCOMPARE(read.resultCode, 0);
    QByteArray again;     // the list read back, in PLC order again: same type, same elements
    QVERIFY(ValueCodec::encodeByType(type, read, count, &again));
    QCOMPARE(ValueCodec::heldElements(type, read), count);
    QCOMPARE(again.toHex(), bytes.toHex());
    QVERIFY(read.timeStamp.isValid());

    // The bytes landed where the address says, in PLC order.
    QByteArray stored;
    QVERIFY(gateway->memory.read(area, db, byteAddress, bytes.size(), &stored));
    QCOMPARE(stored.toHex(), bytes.toHex());
}

void TestPpiFacade::boolReadAndWrite()
{
    gateway->memory.write(0x83, 0, 70, QByteArray::fromHex("0000"));
    QCOMPARE(driver->WriteVariable(QStringLiteral("M70.6"), Bool, valueOf<bool>({true})).resultCode, 0);
    // One bit item: transport size 0x01, data transport size 0x03, length 1 bit.
    QCOMPARE(frames().first().mid(7 + 15, 1).toHex(), QByteArray("01"));
    QCOMPARE(frames().first().mid(7 + 25, 3).toHex(), QByteArray("030001"));
    QByteArray stored;
    gateway->memory.read(0x83, 0, 70, 1, &stored);
    QCOMPARE(stored.toHex(), QByteArray("40"));

    gateway->memory.write(0x83, 0, 71, QByteArray::fromHex("01"));
    // Bits 6 and 7 of M70, then all of M71: the consecutive bits from the start bit on.
    const CLabelVariable bits = driver->ReadVariable(QStringLiteral("M70.6"), Bool, 3);
    QCOMPARE(bits.resultCode, 0);
    const QList<bool> list = bits.value.value<QList<bool>>();
    QVERIFY(list.size() >= 3);
    QCOMPARE(list.mid(0, 3), (QList<bool>{true, false, true}));
}

void TestPpiFacade::resultCodes_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("sent");
    const int u8 = UInt8;
    QTest::newRow("read, no area") << false << "X5" << u8 << 1 << 3 << false;
    QTest::newRow("read, malformed") << false << "M1.2.3" << u8 << 1 << 3 << false;
    QTest::newRow("read, negative count") << false << "V0" << u8 << -1 << 4 << false;
    QTest::newRow("read, count 0") << false << "V0" << u8 << 0 << 0 << true;
    QTest::newRow("read, negative address") << false << "M-5" << u8 << 1 << 5 << false;
    QTest::newRow("read, at 65535") << false << "V65535" << u8 << 1 << 5 << false;
    QTest::newRow("read, at 65534") << false << "V65534" << u8 << 1 << 0 << true;
    QTest::newRow("read, type 0") << false << "V0" << 0 << 1 << 2 << false;
    QTest::newRow("read, type 12") << false << "V0" << int(String) << 1 << 2 << true;
    QTest::newRow("read, 234 bytes") << false << "V0" << u8 << 234 << 0 << true;
    QTest::newRow("read, 235 bytes") << false << "V0" << u8 << 235 << 0 << true;
    QTest::newRow("read, 30 doubles") << false << "V0" << int(Double) << 30 << 0 << true;
    QTest::newRow("read, 65536 bytes") << false << "V0" << int(Int16) << 32768 << 4 << false;
    QTest::newRow("read, error item") << false << "DB9010.DBB0" << u8 << 1 << 7 << true;
    QTest::newRow("read, negative acknowledgement") << false << "DB9002.DBB0" << u8 << 1 << 7 << true;
    QTest::newRow("read, bad FCS") << false << "DB9008.DBB0" << u8 << 1 << 8 << true;     // a broken frame is no answer
    QTest::newRow("write, no area") << true << "X5" << u8 << 1 << 3 << false;
    QTest::newRow("write, count 0") << true << "V0" << u8 << 0 << 4 << false;
    QTest::newRow("write, negative address") << true << "M-5" << u8 << 1 << 5 << false;
    QTest::newRow("write, at 7999") << true << "V7999" << u8 << 1 << 0 << true;
    QTest::newRow("write, at 8000") << true << "V8000" << u8 << 1 << 5 << false;
    QTest::newRow("write, type 0") << true << "V0" << 0 << 1 << 2 << false;
    QTest::newRow("write, two Bools") << true << "V0.1" << int(Bool) << 2 << 4 << false;
    QTest::newRow("write, 224 bytes") << true << "V0" << u8 << 224 << 0 << true;
    QTest::newRow("write, 225 bytes") << true << "V0" << u8 << 225 << 0 << true;
    QTest::newRow("write, inputs") << true << "I0" << u8 << 1 << 6 << true;
    QTest::newRow("write, error item") << true << "DB9010.DBB0" << u8 << 1 << 7 << true;
}

void TestPpiFacade::resultCodes()
{
    QFETCH(bool, write);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, code);
    QFETCH(bool, sent);
    CLabelVariable result;
    if (write) {
        QList<unsigned char> bytes;
        for (int i = 0; i <= qMax(count, 1); ++i)
            bytes.append(0x11);
        CLabelVariable value = valueOf<unsigned char>(bytes);
        if (type == Bool)
            value = valueOf<bool>({true, true});
        result = driver->WriteVariable(address, DataType(type), value, count);
    } else {
        result = driver->ReadVariable(address, DataType(type), count);
    }
    QCOMPARE(result.resultCode, code);
    QCOMPARE(result.address, address);
    QCOMPARE(result.count, count);
    QCOMPARE(result.type, type);
    QCOMPARE(!frames().isEmpty(), sent);
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

void TestPpiFacade::identity()
{
    Pellimor p;
    QCOMPARE(p.getDriveName(), QStringLiteral("Siemens_PPI"));
    QCOMPARE(p.DebugCmd(GetDriveName), p.getDriveName());
    QCOMPARE(p.getversion_number(), QStringLiteral("V1.0.0 20200621"));
    QVERIFY(p.DebugCmd(GetVersion).startsWith(QStringLiteral("v1.0.0 ")));
    QVERIFY(p.DebugCmd(EDebugCmdType(4)).isNull());
    QCOMPARE(p.qt_metacast("CDriveBaseClass"), static_cast<void *>(static_cast<CDriveBaseClass *>(&p)));
}

QTEST_GUILESS_MAIN(TestPpiFacade)
#include "tst_ppi_facade.moc"
