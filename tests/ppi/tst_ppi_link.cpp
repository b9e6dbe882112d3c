// The PPI link against the simulated station, over the TCP gateway and over a pseudo-terminal:
// greeting, request/acknowledge/poll frames, the station's faults. What it shares with the S7
// transport is tested in tests/host/tst_job_ports.cpp.
#include <QtTest>
#include <QTcpServer>

#include <atomic>
#include <memory>

#include <sys/socket.h>

#include "CmdSiemens_PPI.h"
#include "GatewayMedium.h"
#include "LogCapture.h"
#include "PtyLineSettings.h"
#include "SerialLineMedium.h"
#include "SimulatorThreads.h"

using Medium = StationThread::Medium;
Q_DECLARE_METATYPE(StationThread::Medium)

namespace {

const QByteArray Greeting = QByteArray::fromHex("100200494b16");
const QByteArray Poll = QByteArray::fromHex("1002005c5e16");
const QByteArray ReadV100 = QByteArray::fromHex("681b1b6802006c320100000000000e00000401120a10020002000184000320" "8c16");
const QByteArray WriteV100 = QByteArray::fromHex("6820206802007c320100000000000e00050501120a1002000100018400032000040008" "55" "0216");

// A reference frame (PDU reference 0) as it goes out with the PDU reference `reference`; the
// frame check sequence counts the reference's two bytes.
QByteArray withReference(QByteArray frame, quint16 reference)
{
    frame[11] = char(reference >> 8);
    frame[12] = char(reference & 0xFF);
    const int fcs = frame.size() - 2;
    frame[fcs] = char(quint8(frame.at(fcs)) + (reference >> 8) + (reference & 0xFF));
    return frame;
}

quint16 referenceOf(const QByteArray &job)
{
    return job.size() > 12 ? quint16((quint8(job.at(11)) << 8) | quint8(job.at(12))) : 0;
}

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
    void greetingRefused_data();
    void greetingRefused();
    void readAndWriteFrames_data();
    void readAndWriteFrames();
    void stationFaults_data();
    void stationFaults();
    void stationVanishes_data() { addMedia(); }
    void serialSettings_data();
    void serialSettings();
    void mediumTiming_data();
    void mediumTiming();
    void sendDataEdges();
    void gatewayClosedWhileIdle();
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

void TestPpiLink::greetingRefused_data()
{
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<bool>("corrupted");
    QTest::addColumn<QString>("line");
    for (const Medium m : {Medium::Gateway, Medium::Pty}) {
        const char *medium = m == Medium::Gateway ? "gateway" : "pty";
        QTest::addRow("%s, another station", medium) << m << false << QStringLiteral("100200494b16 100003000316");
        // A reply with a bad FCS is no frame: the greeting gets none.
        QTest::addRow("%s, corrupted FCS", medium) << m << true << QStringLiteral("100200494b16 ");
    }
}

void TestPpiLink::greetingRefused()
{
    QFETCH(Medium, medium);
    QFETCH(bool, corrupted);
    QFETCH(QString, line);
    Bench b(medium, 2, corrupted ? -1 : 3);
    b.station->station->setGreetingCorrupted(corrupted);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
    QCOMPARE(b.connect(), medium == Medium::Gateway ? -3 : -1);
}

void TestPpiLink::readAndWriteFrames_data()
{
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<int>("traffic");
    QTest::addColumn<bool>("echo");
    for (const Medium m : {Medium::Gateway, Medium::Pty}) {
        const char *medium = m == Medium::Gateway ? "gateway" : "pty";
        QTest::addRow("%s", medium) << m << 0 << false;
        // A shared line: every other kind of frame around each reply, one still arriving behind
        // it; a 2-wire adapter that echoes what we send.
        QTest::addRow("%s, every kind of traffic", medium) << m << int(PpiStation::AllTraffic) << false;
        QTest::addRow("%s, echo", medium) << m << 0 << true;
        QTest::addRow("%s, traffic and echo", medium) << m << int(PpiStation::AllTraffic) << true;
    }
}

void TestPpiLink::readAndWriteFrames()
{
    QFETCH(Medium, medium);
    QFETCH(int, traffic);
    QFETCH(bool, echo);
    Bench b(medium);
    b.station->station->setTraffic(traffic);
    b.station->station->setEcho(echo);
    b.station->memory.write(0x84, 1, 100, QByteArray::fromHex("1234"));
    QCOMPARE(b.connect(), 0);
    b.station->station->clearReceivedFrames();

    QByteArray out("<");
    QCOMPARE(b.ppi.Read_area(100, 2, &out, 2, 1, 0x84, QStringLiteral("V100")), 0);
    QCOMPARE(out.toHex(), QByteArray("3c1234"));
    // Every job carries a PDU reference of its own, never 0.
    const quint16 readReference = referenceOf(b.frames().value(0));
    QVERIFY(readReference != 0);
    QCOMPARE(b.frames(), (QList<QByteArray>{withReference(ReadV100, readReference), Poll}));

    b.station->station->clearReceivedFrames();
    QCOMPARE(b.ppi.WriteCoilsQarea(1, 800, 1, 2, QByteArray::fromHex("55"), 0x84, QStringLiteral("V100")), 0);
    const quint16 writeReference = referenceOf(b.frames().value(0));
    QVERIFY(writeReference != 0 && writeReference != readReference);
    QCOMPARE(b.frames(), (QList<QByteArray>{withReference(WriteV100, writeReference), Poll}));
    QByteArray stored;
    b.station->memory.read(0x84, 1, 100, 2, &stored);
    QCOMPARE(stored.toHex(), QByteArray("5534"));

    // A bit item sets one bit and leaves its neighbours alone.
    QCOMPARE(b.ppi.WriteCoilsQarea(1, 801, 1, 2, QByteArray::fromHex("01"), 0x84, QStringLiteral("V100.1"), true), 0);
    stored.clear();
    b.station->memory.read(0x84, 1, 100, 1, &stored);
    QCOMPARE(stored.toHex(), QByteArray("57"));

    // A write never carries bytes the caller did not give: fewer than the count send nothing.
    b.station->station->clearReceivedFrames();
    QCOMPARE(b.ppi.WriteCoilsQarea(1, 808, 2, 2, QByteArray::fromHex("66"), 0x84, QStringLiteral("V101")), -1);
    QCOMPARE(b.frames(), QList<QByteArray>());
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
        {"E5 to the first polls", PpiStation::NotReadyBlock, false, 0, 3},
        {"glitch byte before E5", PpiStation::GlitchBlock, false, 0, 1},
        {"write, glitch byte before E5", PpiStation::GlitchBlock, true, 0, 1},
        {"stray answer with another reference", PpiStation::StrayReferenceBlock, false, 0, 1},
        {"stray answer for another master", PpiStation::OtherMasterBlock, false, 0, 1},
        {"answer in pieces", PpiStation::PiecesBlock, false, 0, 1},
        {"write answer in pieces", PpiStation::PiecesBlock, true, 0, 1},
        {"bad FCS: no answer", PpiStation::BadFcsBlock, false, -2, 1},
        {"error item", PpiStation::ErrorItemBlock, false, -1, 1},
        {"write error item", PpiStation::ErrorItemBlock, true, -1, 1},
        {"tokens", PpiStation::TokenBlock, false, 0, 1},
        {"write, tokens", PpiStation::TokenBlock, true, 0, 1},
        {"FDL status of another master", PpiStation::StatusBlock, false, 0, 1},
        {"write, FDL status of another master", PpiStation::StatusBlock, true, 0, 1},
        {"another master's job", PpiStation::OtherExchangeBlock, false, 0, 1},
        {"write, another master's job", PpiStation::OtherExchangeBlock, true, 0, 1},
        {"SD3 frames", PpiStation::FixedDataBlock, false, 0, 1},
        {"write, SD3 frames", PpiStation::FixedDataBlock, true, 0, 1},
        {"echo", PpiStation::EchoBlock, false, 0, 1},
        {"write, echo", PpiStation::EchoBlock, true, 0, 1},
        // An E5 can answer a job request, never an FDL status request.
        {"E5 behind another master's FDL status request", PpiStation::ForeignStatusFirstBlock, false, 0, 1},
        {"E5 behind another master's job request", PpiStation::ForeignJobFirstBlock, false, 0, 1},
        {"write, E5 behind another master's job request", PpiStation::ForeignJobFirstBlock, true, 0, 1},
        // A held E5 is not the reply to the poll: one poll, no second one while its reply is due.
        {"a lone E5 before the poll", PpiStation::LoneAckBlock, false, 0, 1},
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
        QByteArray stored;
        b.station->memory.read(0x84, block, 4, 3, &stored);
        QCOMPARE(stored.toHex(), QByteArray(result == 0 ? "0d0e0f" : "a1b2c3"));
    } else {
        QCOMPARE(b.ppi.Read_area(4, 3, &out, 2, block, 0x84, QString()), result);
        QCOMPARE(out.toHex(), QByteArray(result == 0 ? "a1b2c3" : ""));
    }
    QCOMPARE(b.frames().count(Poll), polls);
}

void TestPpiLink::serialSettings_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("warning");
    // A pseudo-terminal keeps the baud rate it is given (it forces 8 data bits and no parity).
    QTest::newRow("PPI fast rate") << 187500 << 8 << 1 << QString();
    QTest::newRow("19200") << 19200 << 8 << 1 << QString();
    QTest::newRow("unknown baud") << 14400 << 8 << 1 << "lib[Siemens_PPI]串口参数无效 baud=14400";
    QTest::newRow("nine data bits") << 9600 << 9 << 1 << "lib[Siemens_PPI]串口参数无效 databits=9";
    QTest::newRow("no stop bit") << 9600 << 8 << 0 << "lib[Siemens_PPI]串口参数无效 stopbits=0";
}

// The line runs at the rate the connection text names, or not at all.
void TestPpiLink::serialSettings()
{
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(QString, warning);
    Bench b(Medium::Pty);
    LineSettings settings;
    // qemu-user does not pass the ioctls that carry a rate as a number (termios2); a real
    // kernel, native or on the board, does.
    if (warning.isEmpty() && !b.station->station->lineSettings(&settings))
        QSKIP("this system cannot read a pseudo-terminal's rate as a number (termios2)");
    LogCapture log;
    const int result = b.ppi.serialConnectDrive(b.portName, baud, dataBits, stopBits, QStringLiteral("E"), 2);
    if (!warning.isEmpty()) {
        QCOMPARE(result, -1);
        QVERIFY2(log.all().contains(warning), qPrintable(log.all().join('\n')));
        QVERIFY(b.frames().isEmpty());
        QCOMPARE(b.ppi.Connection_status(), -3);
        return;
    }
    QCOMPARE(result, 0);
    QVERIFY(b.station->station->lineSettings(&settings));
    QCOMPARE(settings.baud, baud);
}

void TestPpiLink::mediumTiming_data()
{
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("lineMs");
    QTest::addColumn<qint64>("idleNs");
    // A character is a start bit, the data bits, the parity bit if any and the stop bits; the
    // idle time is 33 bit times; both rounded up.
    QTest::newRow("gateway: rate unknown") << Medium::Gateway << 0 << 0 << 0 << QString() << 261 << 0 << qint64(3437500);
    QTest::newRow("9600 8E1") << Medium::Pty << 9600 << 8 << 1 << "E" << 20 << 23 << qint64(3437500);
    QTest::newRow("9600 8N2") << Medium::Pty << 9600 << 8 << 2 << "N" << 20 << 23 << qint64(3437500);
    QTest::newRow("19200 8N1") << Medium::Pty << 19200 << 8 << 1 << "N" << 261 << 136 << qint64(1718750);
    QTest::newRow("187500 8E1") << Medium::Pty << 187500 << 8 << 1 << "E" << 261 << 16 << qint64(176000);
}

// How long a frame takes and how long the line must be idle: what bounds every exchange.
void TestPpiLink::mediumTiming()
{
    QFETCH(Medium, medium);
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(QString, parity);
    QFETCH(int, bytes);
    std::unique_ptr<PpiMedium> m;
    if (medium == Medium::Gateway) {
        m = std::make_unique<GatewayMedium>();
    } else {
        SerialSettings::Line line;
        QVERIFY(!SerialSettings::read(baud, dataBits, stopBits, parity, &line));
        auto serial = std::make_unique<SerialLineMedium>();
        // A port that does not open keeps the settings it was given.
        QVERIFY(!serial->open(QStringLiteral("/nonexistent/ttyPPI"), line));
        m = std::move(serial);
    }
    QVERIFY(!m->isUp());
    QTEST(m->lineTimeMs(bytes), "lineMs");
    QTEST(m->idleTimeNs(), "idleNs");
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

// A gateway that answers the greeting and then, while the driver is idle, ends its side of the
// connection (its FIN is on the way before the driver's next job): the job is not sent.
void TestPpiLink::gatewayClosedWhileIdle()
{
    PeerThread peer;
    QTcpServer *server = nullptr;
    QTcpSocket *client = nullptr;
    QByteArray heard;
    std::atomic<bool> gone{false};
    quint16 port = 0;
    peer.onPeerThread([&] {
        server = new QTcpServer;
        server->listen(QHostAddress::LocalHost);
        port = server->serverPort();
        QObject::connect(server, &QTcpServer::newConnection, server, [&] {
            client = server->nextPendingConnection();
            QObject::connect(client, &QTcpSocket::readyRead, client, [&] {
                heard += client->readAll();
                if (heard == Greeting)
                    client->write(QByteArray::fromHex("100002000216"));
            });
            QObject::connect(client, &QTcpSocket::disconnected, client, [&] { gone = true; });
        });
    });
    CmdSiemens_PPI ppi;
    QCOMPARE(ppi.EthConnectDrive(QStringLiteral("127.0.0.1"), port, 2), 0);
    peer.onPeerThread([&] { ::shutdown(int(client->socketDescriptor()), SHUT_WR); });
    QByteArray out;
    QCOMPARE(ppi.Read_area(100, 4, &out, 2, 1, 0x84, QStringLiteral("V100")), -3);
    QCOMPARE(ppi.WriteCoilsQarea(1, 800, 1, 2, QByteArray(1, '\x01'), 0x84, QStringLiteral("V100")), -3);
    QCOMPARE(ppi.Connection_status(), -3);
    // The driver has closed its end: the gateway heard nothing but the greeting.
    QTRY_VERIFY_WITH_TIMEOUT(gone.load(), 2000);
    QByteArray got;
    peer.onPeerThread([&] {
        got = heard;
        delete server;
    });
    QCOMPARE(got, Greeting);
}

QTEST_GUILESS_MAIN(TestPpiLink)
#include "tst_ppi_link.moc"
