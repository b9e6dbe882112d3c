// The PPI link against the simulated station, over the TCP gateway and over a pseudo-terminal:
// greeting, request/acknowledge/poll frames, the station's faults, status and release.
#include <QtTest>
#include <QTcpServer>

#include <memory>

#include "CmdSiemens_PPI.h"
#include "StationThread.h"

using Medium = StationThread::Medium;
Q_DECLARE_METATYPE(StationThread::Medium)

namespace {

const QByteArray Greeting = QByteArray::fromHex("100200494b16");
const QByteArray Poll = QByteArray::fromHex("1002005c5e16");
const QByteArray ReadV100 = QByteArray::fromHex("681b1b6802006c320100000000000e00000401120a10020002000184000320" "8c16");
const QByteArray WriteV100 = QByteArray::fromHex("6820206802007c320100000000000e00050501120a1002000100018400032000040008" "55" "0216");

// Collects the lines the driver logs, so a test can say which lines exist and which do not.
class LogCapture
{
public:
    LogCapture() { lines().clear(); previous = qInstallMessageHandler(&LogCapture::handler); }
    ~LogCapture() { qInstallMessageHandler(previous); }
    static QStringList &lines()
    {
        static QStringList l;
        return l;
    }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &text) { lines().append(text); }
    QtMessageHandler previous;
};

// A station on one medium and a link connected to it.
struct Bench {
    explicit Bench(Medium medium, int stationAddress = 2, int greetingAddress = -1)
        : medium(medium)
    {
        const QString link = dir.filePath(QStringLiteral("ttyPPI"));
        station = std::make_unique<StationThread>(medium, stationAddress, link);
        if (greetingAddress >= 0)
            station->station->setGreetingAddress(greetingAddress);
        portName = link;
    }
    int connect(int stationAddress = 2)
    {
        if (medium == Medium::Gateway)
            return ppi.EthConnectDrive(QStringLiteral("127.0.0.1"), station->port(), stationAddress);
        return ppi.serialConnectDrive(portName, 9600, 8, 1, QStringLiteral("E"), stationAddress);
    }
    QList<QByteArray> frames() const { return station->station->receivedFrames(); }

    Medium medium;
    QTemporaryDir dir;
    QString portName;
    std::unique_ptr<StationThread> station;
    CmdSiemens_PPI ppi;
};

void addMedia()
{
    QTest::addColumn<Medium>("medium");
    QTest::newRow("gateway") << Medium::Gateway;
    QTest::newRow("pty") << Medium::Pty;
}

} // namespace

class TestPpiLink : public QObject
{
    Q_OBJECT
private slots:
    void greeting_data() { addMedia(); }
    void greeting();
    void greetingFromAnotherStation_data() { addMedia(); }
    void greetingFromAnotherStation();
    void readAndWriteFrames_data() { addMedia(); }
    void readAndWriteFrames();
    void stationFaults_data();
    void stationFaults();
    void silence_data();
    void silence();
    void traceLines();
    void statusAndRelease();
    void sendDataEdges();
    void serialPortThatDoesNotOpen();
    void gatewayThatRefuses();
};

void TestPpiLink::greeting()
{
    QFETCH(Medium, medium);
    Bench b(medium);
    QVERIFY(b.station->ok());
    QTest::ignoreMessage(QtDebugMsg, "100200494b16 100002000216");
    QCOMPARE(b.connect(), 0);
    QCOMPARE(b.frames(), QList<QByteArray>{Greeting});
    QCOMPARE(b.ppi.Connection_status(), 0);
}

void TestPpiLink::greetingFromAnotherStation()
{
    QFETCH(Medium, medium);
    Bench b(medium, 2, 3);
    QTest::ignoreMessage(QtDebugMsg, "100200494b16 100003000316");
    QCOMPARE(b.connect(), medium == Medium::Gateway ? -3 : -1);
}

void TestPpiLink::readAndWriteFrames()
{
    QFETCH(Medium, medium);
    Bench b(medium);
    b.station->memory.write(0x84, 1, 100, QByteArray::fromHex("1234"));
    QCOMPARE(b.connect(), 0);
    b.station->station->clearReceivedFrames();

    QByteArray out("<");
    QCOMPARE(b.ppi.Read_area(100, 2, &out, 2, 1, 0x84, QStringLiteral("V100")), 0);
    QCOMPARE(out.toHex(), QByteArray("3c1234"));
    QCOMPARE(b.frames(), (QList<QByteArray>{ReadV100, Poll}));

    b.station->station->clearReceivedFrames();
    QCOMPARE(b.ppi.WriteCoilsQarea(1, 800, 1, 2, QByteArray::fromHex("55"), 0x84, QStringLiteral("V100")), 0);
    QCOMPARE(b.frames(), (QList<QByteArray>{WriteV100, Poll}));
    QByteArray stored;
    b.station->memory.read(0x84, 1, 100, 2, &stored);
    QCOMPARE(stored.toHex(), QByteArray("5534"));

    // A bit item sets one bit and leaves its neighbours alone.
    QCOMPARE(b.ppi.WriteCoilsQarea(1, 801, 1, 2, QByteArray::fromHex("01"), 0x84, QStringLiteral("V100.1"), true), 0);
    stored.clear();
    b.station->memory.read(0x84, 1, 100, 1, &stored);
    QCOMPARE(stored.toHex(), QByteArray("57"));
}

void TestPpiLink::stationFaults_data()
{
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<int>("block");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("polls");
    const struct { const char *name; int block; bool write; int result; int polls; } rows[] = {
        {"answer without E5", PpiStation::NoAckBlock, false, 0, 0},
        {"write answered without E5", PpiStation::NoAckBlock, true, 0, 0},
        {"negative acknowledgement", PpiStation::NakBlock, false, -1, 0},
        {"garbage instead of E5", PpiStation::GarbageBlock, false, -1, 0},
        {"E5 to the first polls", PpiStation::NotReadyBlock, false, 0, 3},
        {"answer in pieces", PpiStation::PiecesBlock, false, 0, 1},
        {"write answer in pieces", PpiStation::PiecesBlock, true, 0, 1},
        {"bad FCS", PpiStation::BadFcsBlock, false, -1, 1},
        {"error item", PpiStation::ErrorItemBlock, false, -1, 1},
        {"write error item", PpiStation::ErrorItemBlock, true, -1, 1},
        {"never ready", PpiStation::NeverReadyBlock, false, -2, CmdSiemens_PPI::MaxPolls},
    };
    for (const Medium m : {Medium::Gateway, Medium::Pty}) {
        for (const auto &r : rows) {
            QTest::addRow("%s, %s", m == Medium::Gateway ? "gateway" : "pty", r.name)
                << m << r.block << r.write << r.result << r.polls;
        }
    }
}

void TestPpiLink::stationFaults()
{
    QFETCH(Medium, medium);
    QFETCH(int, block);
    QFETCH(bool, write);
    QFETCH(int, result);
    QFETCH(int, polls);
    Bench b(medium);
    b.station->memory.write(0x84, block, 4, QByteArray::fromHex("a1b2c3"));
    QCOMPARE(b.connect(), 0);
    b.station->station->clearReceivedFrames();

    QByteArray out;
    if (write) {
        QCOMPARE(b.ppi.WriteCoilsQarea(block, 32, 3, 2, QByteArray::fromHex("0d0e0f"), 0x84, QString()), result);
    } else {
        QCOMPARE(b.ppi.Read_area(4, 3, &out, 2, block, 0x84, QString()), result);
        QCOMPARE(out.toHex(), QByteArray(result == 0 ? "a1b2c3" : ""));
    }
    QCOMPARE(b.frames().count(Poll), polls);
}

void TestPpiLink::silence_data()
{
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("polls");
    // Each row waits out the answer wait once: one row per medium.
    QTest::newRow("gateway, poll gets no answer") << Medium::Gateway << int(PpiStation::SilentPollBlock) << 1;
    QTest::newRow("pty, station never answers") << Medium::Pty << int(PpiStation::SilentBlock) << 0;
}

void TestPpiLink::silence()
{
    QFETCH(Medium, medium);
    QFETCH(int, block);
    QFETCH(int, polls);
    Bench b(medium);
    QCOMPARE(b.connect(), 0);
    b.station->station->clearReceivedFrames();
    QByteArray out;
    QCOMPARE(b.ppi.Read_area(0, 2, &out, 2, block, 0x84, QString()), -2);
    QVERIFY(out.isEmpty());
    QCOMPARE(b.frames().count(Poll), polls);
    // The link stays usable for the next request.
    QCOMPARE(b.ppi.Read_area(0, 2, &out, 2, 1, 0x84, QString()), 0);
}

void TestPpiLink::traceLines()
{
    Bench b(Medium::Gateway);
    QCOMPARE(b.connect(), 0);
    const QString where = QStringLiteral("127.0.0.1:%1").arg(b.station->port());
    QByteArray out;
    {
        LogCapture log;
        QCOMPARE(b.ppi.Read_area(100, 2, &out, 2, 1, 0x84, QStringLiteral("V100")), 0);
        QVERIFY2(LogCapture::lines().isEmpty(), qPrintable(LogCapture::lines().join('\n')));
    }
    b.ppi.debugFlag = true;
    LogCapture log;
    QCOMPARE(b.ppi.Read_area(100, 2, &out, 2, 1, 0x84, QStringLiteral("V100")), 0);
    QCOMPARE(b.ppi.WriteCoilsQarea(1, 800, 1, 2, QByteArray::fromHex("55"), 0x84, QStringLiteral("V100")), 0);
    const QStringList lines = LogCapture::lines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("lib[Siemens_PPI]读命令 %1 Area=V100  len = 2 msg : %2").arg(where, QString::fromLatin1(ReadV100.toHex())));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("lib[Siemens_PPI]响应 %1 Area=V100  len = 2 msg : 68").arg(where)));
    QCOMPARE(lines.at(2), QStringLiteral("lib[Siemens_PPI]写命令 %1 Area=V100  len = 1 msg : %2").arg(where, QString::fromLatin1(WriteV100.toHex())));
    QVERIFY(lines.at(3).startsWith(QStringLiteral("lib[Siemens_PPI]响应 %1 Area=V100  len = 1 msg : 68").arg(where)));
}

void TestPpiLink::statusAndRelease()
{
    Bench b(Medium::Pty);
    CmdSiemens_PPI &ppi = b.ppi;
    QCOMPARE(ppi.Connection_status(), 0);
    QCOMPARE(ppi.EthDisConnectDrive(), 1);
    QByteArray out;
    // No medium yet: the status test passes, nothing is sent, nothing comes back.
    QCOMPARE(ppi.Read_area(0, 1, &out, 2, 1, 0x84, QString()), -2);
    QCOMPARE(b.connect(), 0);
    QCOMPARE(ppi.serialDisConnectDrive(), 0);
    QCOMPARE(ppi.Connection_status(), -3);
    QCOMPARE(ppi.Read_area(0, 1, &out, 2, 1, 0x84, QString()), -3);
    QCOMPARE(ppi.WriteCoilsQarea(1, 0, 1, 2, QByteArray(1, 'a'), 0x84, QString()), -3);
    // A reconnect reuses the port object.
    QCOMPARE(b.connect(), 0);
    QCOMPARE(ppi.Read_area(0, 1, &out, 2, 1, 0x84, QString()), 0);
    QCOMPARE(ppi.DestroyFree(), 0);
    QCOMPARE(ppi.DestroyFree(), 1);
}

void TestPpiLink::sendDataEdges()
{
    Bench b(Medium::Gateway);
    QCOMPARE(b.connect(), 0);
    QByteArray reply = QByteArray::fromHex("aa");
    // A time-out below 1 only sends.
    QCOMPARE(b.ppi.SendData(Greeting, reply, 0), -1);
    QCOMPARE(reply.toHex(), QByteArray("aa"));
    // The next exchange takes a reply of its own and appends it.
    QCOMPARE(b.ppi.SendData(Greeting, reply, 50), 0);
    QCOMPARE(reply.toHex(), QByteArray("aa100002000216"));
    QCOMPARE(b.ppi.handshake(2), 0);
}

void TestPpiLink::serialPortThatDoesNotOpen()
{
    CmdSiemens_PPI ppi;
    QTest::ignoreMessage(QtDebugMsg, "/nonexistent/ttyPPI打开失败!");
    QTest::ignoreMessage(QtDebugMsg, "100200494b16 ");
    QCOMPARE(ppi.serialConnectDrive(QStringLiteral("/nonexistent/ttyPPI"), 9600, 8, 1, QStringLiteral("N"), 2), -1);
    QCOMPARE(ppi.Connection_status(), -3);
}

void TestPpiLink::gatewayThatRefuses()
{
    QTcpServer unused;
    QVERIFY(unused.listen(QHostAddress::LocalHost));
    const quint16 port = unused.serverPort();
    unused.close();     // nothing listens there now
    CmdSiemens_PPI ppi;
    QCOMPARE(ppi.EthConnectDrive(QStringLiteral("plc.example"), port, 2), -1);
    QCOMPARE(ppi.EthConnectDrive(QStringLiteral("127.0.0.1"), port, 2), -3);
    QCOMPARE(ppi.Connection_status(), -3);
}

QTEST_GUILESS_MAIN(TestPpiLink)
#include "tst_ppi_link.moc"
