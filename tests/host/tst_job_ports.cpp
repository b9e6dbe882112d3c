// What both transports do alike, through JobPort, one table per behaviour with a transport column:
// "s7"; "ppi" over the TCP gateway; "ppi pty" where the serial line matters. Each transport talks
// to a simulated PLC of its own in a thread; a row names the simulator's fault block it reaches.
#include <QtTest>
#include <QTcpServer>

#include <memory>
#include <numeric>

#include "CmdSiemens_PPI.h"
#include "CmdSiemens_S7.h"
#include "IsoTcpFrames.h"
#include "LogCapture.h"
#include "SimulatorThreads.h"

namespace {

const QString Loopback = QStringLiteral("127.0.0.1");
const QByteArray Poll = QByteArray::fromHex("1002005c5e16");

// A call that waits out the answer time-out must be back by then, with a margin that a loaded
// CI machine keeps (a 9600 baud line adds well under 100 ms for these frames).
constexpr int WaitBoundMs = 2000 + 800;
#define QCOMPARE_WITHIN_WAIT(call, expected) \
    do { QElapsedTimer c_; c_.start(); QCOMPARE(call, expected); \
         QVERIFY2(c_.elapsed() < WaitBoundMs, qPrintable(QString::number(c_.elapsed()))); } while (false)

// DB1 (V memory) byte i holds 0xA0 + i.
QByteArray pattern(int at, int n)
{
    QByteArray b(n, 0);
    return std::iota(b.begin(), b.end(), char(0xA0 + at)), b;
}

// The transport the row's "transport" column names, with a simulated PLC of its own, which holds
// the pattern in DB1 and 0x99 in `faultBlock` (so that its late answer, taken for another job's,
// shows).
class Transport
{
public:
    explicit Transport(int faultBlock = 0)
    {
        using M = StationThread::Medium;
        s7 ? void(sim = std::make_unique<SimulatorThread>())
           : void(station = std::make_unique<StationThread>(pty ? M::Pty : M::Gateway, 2, ptyPath()));
        ppiPort.setStation(2);
        memory().write(0x84, 1, 0, pattern(0, 16));
        memory().write(0x84, faultBlock, 0, QByteArray(16, char(0x99)));
    }
    quint16 plcPort() const { return s7 ? sim->port : station->port(); }
    QString where() const { return QStringLiteral("127.0.0.1:%1").arg(plcPort()); }
    int connect() { return connectTo(pty ? ptyPath() : Loopback, plcPort(), QStringLiteral("E")); }
    // A TCP target, or (the pty row) a serial port's name.
    int connectTo(const QString &target, quint16 tcpPort, const QString &parity = QStringLiteral("N"))
    {
        return s7    ? s7Port.ConnectDrive(target, tcpPort)
               : pty ? ppiPort.serialConnectDrive(target, 9600, 8, 1, parity, 2)
                     : ppiPort.EthConnectDrive(target, tcpPort, 2);
    }
    // The disconnect a host calls for this medium; `idle`: the one that says 1 without a link.
    int disconnect(bool idle = false)
    {
        return s7 ? s7Port.DisConnectDrive() : pty && !idle ? ppiPort.serialDisConnectDrive() : ppiPort.EthDisConnectDrive();
    }
    int destroyFree() { return s7 ? s7Port.DestroyFree() : ppiPort.DestroyFree(); }
    int status() { return s7 ? s7Port.Connection_status() : ppiPort.Connection_status(); }
    bool &debugFlag() { return s7 ? s7Port.debugFlag : ppiPort.debugFlag; }
    // More than the kernel's buffers take while nobody reads, in the medium's own framing.
    int sendFlood(QByteArray &reply)
    {
        return s7 ? s7Port.SendData(IsoTcp::wrapPdu(QByteArray(8 << 20, char(0x32))), reply, 50)
                  : ppiPort.SendData(QByteArray(8 << 20, char(0x10)), reply, 50);
    }
    JobPort &port() { return s7 ? static_cast<JobPort &>(s7Port) : ppiPort; }
    int read(int db, int at, int n, QByteArray *out, QString text = "DB") { return port().readJob({0x84, db, at, 0, text}, n, out); }
    int write(int db, int at, QByteArray data, QString text = "DB") { return port().writeJob({0x84, db, at, 0, text}, data, false); }
    PlcMemory &memory() { return s7 ? sim->memory : station->memory; }
    // The frames the PLC has received since mark(): S7 jobs; PPI frames of any kind.
    void mark() { s7 ? void(jobsAtMark = sim->server->jobCount()) : station->station->clearReceivedFrames(); }
    int framesSinceMark() const { return s7 ? sim->server->jobCount() - jobsAtMark : station->station->receivedFrames().size(); }
    int polls() const { return s7 ? 0 : station->station->receivedFrames().count(Poll); }
    // The frame the job since mark() went out in, as the PLC received it.
    QByteArray job() const { return s7 ? sim->server->lastJob() : station->station->receivedFrames().value(0); }
    // Until a late reply has reached the driver's side (S7: taken in by the host's event loop).
    bool lateReplyArrived()
    {
        return s7 ? QTest::qWaitFor([this] { return !s7Port.recvBuf.isEmpty(); }, 3000)
                  : station->station->waitForLateReply(5000);
    }

    static QString rowTransport() { QFETCH(QString, transport); return transport; }
    const QString which = rowTransport();
    const bool s7 = which == QLatin1String("s7"), pty = which == QLatin1String("ppi pty");
    CmdSiemens_S7 s7Port;
    CmdSiemens_PPI ppiPort;

private:
    QString ptyPath() const { return dir.filePath(QStringLiteral("ttyPPI")); }

    QTemporaryDir dir;
    std::unique_ptr<SimulatorThread> sim;
    std::unique_ptr<StationThread> station;
    int jobsAtMark = 0;
};

} // namespace

enum Peer { Nobody, Mute, OwnPlc };    // who listens at the TCP port

class TestJobPorts : public QObject
{
    Q_OBJECT
private slots:
    void lifecycle_data()
    {
        QTest::addColumn<QString>("transport");
        for (const char *t : {"s7", "ppi", "ppi pty"})
            QTest::newRow(t) << QString::fromLatin1(t);
    }
    // No link before a connect and after a disconnect: nothing is sent; a reconnect works again.
    void lifecycle()
    {
        Transport t;
        QVERIFY(!t.debugFlag());
        QCOMPARE(t.disconnect(true), 1);
        QCOMPARE(t.destroyFree(), 1);
        QCOMPARE(t.status(), -3);
        QByteArray out;
        QCOMPARE(t.read(1, 0, 2, &out), -3);
        QCOMPARE(t.connect(), 0);
        QCOMPARE(t.status(), 0);
        QCOMPARE(t.read(1, 2, 4, &out), 0);
        QCOMPARE(out.toHex(), pattern(2, 4).toHex());
        QCOMPARE(t.disconnect(), 0);
        QCOMPARE(t.status(), -3);
        t.mark();
        QCOMPARE(t.read(1, 0, 2, &out), -3);
        QCOMPARE(t.write(1, 0, QByteArray(1, 'a')), -3);
        QCOMPARE(t.framesSinceMark(), 0);
        QCOMPARE(t.connect(), 0);
        QCOMPARE(t.read(1, 6, 1, &out), 0);
        QCOMPARE(out.toHex(), pattern(2, 4).toHex() + pattern(6, 1).toHex());
        QCOMPARE(t.destroyFree(), 0);
        QCOMPARE(t.destroyFree(), 1);
        QCOMPARE(t.status(), -3);
        QVERIFY(!t.s7Port.tcpSocket);
    }

    void failedConnect_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("peer");
        QTest::addColumn<int>("result");
        // Address literals only: a name would wait for a resolver.
        QTest::newRow("s7, host name") << "s7" << "localhost" << int(OwnPlc) << -1;
        QTest::newRow("s7, no host") << "s7" << QString() << int(OwnPlc) << -1;
        QTest::newRow("ppi, host name") << "ppi" << "plc.example" << int(Nobody) << -1;
        QTest::newRow("s7, nobody listens") << "s7" << Loopback << int(Nobody) << -3;
        QTest::newRow("ppi, nobody listens") << "ppi" << Loopback << int(Nobody) << -3;
        QTest::newRow("s7, set-up never answered") << "s7" << Loopback << int(Mute) << -2;
        QTest::newRow("ppi pty, port does not open") << "ppi pty" << "/nonexistent/ttyPPI" << int(Nobody) << -1;
    }
    void failedConnect()
    {
        QFETCH(QString, target);
        QFETCH(int, peer);
        QFETCH(int, result);
        Transport t;
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        const quint16 port = peer == OwnPlc ? t.plcPort() : listener.serverPort();
        if (peer == Nobody)
            listener.close();
        LogCapture log;
        QCOMPARE_WITHIN_WAIT(t.connectTo(target, port), result);
        // Nothing is greeted after a port that did not open: its line is the only one.
        if (t.pty)
            QCOMPARE(log.all(), QStringList(QStringLiteral("/nonexistent/ttyPPI打开失败!")));
        QCOMPARE(t.status(), -3);
        QByteArray out;
        QCOMPARE(t.read(1, 0, 1, &out), -3);
    }

    void boundedWaits_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("minPolls");
        QTest::newRow("s7, PLC never answers") << "s7" << int(S7Server::SilentDb) << 0;
        for (const char *t : {"ppi", "ppi pty"}) {
            const QString ppi = QString::fromLatin1(t);
            QTest::addRow("%s, station never answers", t) << ppi << int(PpiStation::SilentBlock) << 0;
            QTest::addRow("%s, poll gets no answer", t) << ppi << int(PpiStation::SilentPollBlock) << 1;
            QTest::addRow("%s, answer never ready", t) << ppi << int(PpiStation::NeverReadyBlock) << 2;
            QTest::addRow("%s, garbage instead of E5", t) << ppi << int(PpiStation::GarbageBlock) << 0;
        }
    }
    // Whatever the PLC does, one exchange ends within its one deadline, reports no answer and leaves
    // the link usable.
    void boundedWaits()
    {
        QFETCH(int, block);
        QFETCH(int, minPolls);
        Transport t(block);
        QCOMPARE(t.connect(), 0);
        t.mark();
        QByteArray out;
        int ran = 0;
        QObject rowScope;   // a host's timer, due during the call, gone with the row
        QTimer::singleShot(100, &rowScope, [&ran] { ++ran; });
        QCOMPARE_WITHIN_WAIT(t.read(block, 0, 2, &out), -2);
        QCOMPARE(ran, t.s7 ? 0 : 1);     // the PPI waits run the thread's events
        QVERIFY(out.isEmpty());
        QVERIFY(t.polls() >= minPolls);
        QCOMPARE_WITHIN_WAIT(t.write(block, 0, QByteArray(1, 'x')), -2);
        QCOMPARE(t.read(1, 0, 2, &out), 0);
        QCOMPARE(out.toHex(), pattern(0, 2).toHex());
        if (t.s7) {
            // The warning of a link closed after an unanswered request names the time-out.
            QCOMPARE(t.write(block, 0, QByteArray(1, 'x')), -2);
            LogCapture log;
            t.disconnect();
            QCOMPARE(log.lines(QtWarningMsg),
                     QStringList("lib[Siemens_S7]" + t.where() + " Disconnected= QAbstractSocket::SocketTimeoutError"));
        }
    }

    void windowStaysClosed_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("result");    // of the job after which the PLC stops reading
        QTest::newRow("s7") << "s7" << int(S7Server::WindowClosedDb) << 0;
        QTest::newRow("ppi") << "ppi" << int(PpiStation::WindowClosedBlock) << -2;
    }
    // A peer whose receive window stays closed holds neither a request nor a disconnect past its
    // time-out.
    void windowStaysClosed()
    {
        QFETCH(int, block);
        QFETCH(int, result);
        Transport t(block);
        QCOMPARE(t.connect(), 0);
        QByteArray out, reply;
        QCOMPARE_WITHIN_WAIT(t.read(block, 0, 2, &out), result);
        QCOMPARE_WITHIN_WAIT(t.sendFlood(reply), -1);
        out.clear();
        QCOMPARE_WITHIN_WAIT(t.read(1, 0, 2, &out), -2);
        QCOMPARE_WITHIN_WAIT(t.disconnect(), 0);
        QCOMPARE(t.status(), -3);
        QCOMPARE(t.connect(), 0);
        QCOMPARE(t.read(1, 0, 2, &out), 0);
        QCOMPARE(out.toHex(), pattern(0, 2).toHex());
    }

    void lateAnswerIsDropped_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("block");
        QTest::addColumn<bool>("settle");       // the late reply is in before the next call
        // Late, it comes while the next request waits; it carries the other reference.
        QTest::newRow("s7, late answer") << "s7" << int(S7Server::LateAnswerDb) << false;
        // The host's event loop takes the first segment between two calls; the second comes while the
        // next request waits. Both are one frame of the earlier request, not a broken one.
        QTest::newRow("s7, late answer in two segments") << "s7" << int(S7Server::LateSplitAnswerDb) << true;
        // Waiting on the medium when the host calls again (it ran no events in between).
        for (const char *t : {"ppi", "ppi pty"}) {
            QTest::addRow("%s, late answer in pieces", t) << QString::fromLatin1(t) << int(PpiStation::LateAnswerBlock) << true;
            QTest::addRow("%s, late acknowledgement", t) << QString::fromLatin1(t) << int(PpiStation::LateAckBlock) << true;
        }
    }
    // A reply that comes after its exchange gave up never becomes the next request's reply.
    void lateAnswerIsDropped()
    {
        QFETCH(int, block);
        QFETCH(bool, settle);
        Transport t(block);
        QCOMPARE(t.connect(), 0);
        QByteArray out;
        QCOMPARE_WITHIN_WAIT(t.read(block, 0, 2, &out), -2);
        if (settle)
            QVERIFY(t.lateReplyArrived());
        t.mark();
        QCOMPARE(t.read(1, 6, 2, &out), 0);
        QCOMPARE(out.toHex(), pattern(6, 2).toHex());
        QCOMPARE(t.read(1, 8, 2, &out), 0);
        QCOMPARE(out.toHex(), pattern(6, 4).toHex());
        // One job each, and on PPI one poll each: a stale acknowledgement taken for a job's own costs a
        // poll more, whose unneeded acknowledgement is stale for the next job in turn. (The first
        // read's extra poll is surely on record once the second read has its answer.)
        QCOMPARE(t.framesSinceMark(), t.s7 ? 2 : 4);
        QCOMPARE(t.polls(), t.s7 ? 0 : 2);
    }

    void peerGoesAway_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("block");
        QTest::newRow("s7, PLC closes") << "s7" << int(S7Server::CloseConnectionDb);
        QTest::newRow("ppi, station vanishes") << "ppi" << int(PpiStation::VanishBlock);
        QTest::newRow("ppi pty, station vanishes") << "ppi pty" << int(PpiStation::VanishBlock);
    }
    // The link is down after a peer that went away in a call: later jobs say so at once instead of
    // waiting for an answer, and the next connect opens it again (on the gateway the station never
    // left).
    void peerGoesAway()
    {
        QFETCH(int, block);
        Transport t(block);
        QCOMPARE(t.connect(), 0);
        LogCapture log;
        QByteArray out;
        QCOMPARE_WITHIN_WAIT(t.read(block, 0, 2, &out), -2);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(t.read(1, 0, 2, &out), -3);
        QCOMPARE(t.write(1, 0, QByteArray(1, 'x')), -3);
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(t.status(), -3);
        if (t.s7)
            QCOMPARE(log.lines(QtWarningMsg).filter("lib[Siemens_S7]" + t.where() + " Disconnected=").size(), 1);
        QCOMPARE(t.connect(), 0);
        QCOMPARE(t.read(1, 0, 2, &out), 0);
        QCOMPARE(out.toHex(), pattern(0, 2).toHex());
    }

    void traceOnlyWhileDebugging_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QString>("tag");
        // The answers as the trace shows them: a read's begins with its frame's header; a PPI
        // frame ends with 16, an S7 write's answer with its item's code.
        QTest::addColumn<QString>("readAnswerStart");
        QTest::addColumn<QString>("writeAnswerEnd");
        QTest::newRow("s7") << "s7" << "lib[Siemens_S7]" << "0300001b02f08032" << "0501ff";
        QTest::newRow("ppi") << "ppi" << "lib[Siemens_PPI]" << "68" << "16";
    }
    // Without debugging, jobs write no line; with it, each job's request as it went out and its answer.
    void traceOnlyWhileDebugging()
    {
        QFETCH(QString, tag);
        QFETCH(QString, readAnswerStart);
        QFETCH(QString, writeAnswerEnd);
        Transport t;
        QCOMPARE(t.connect(), 0);
        QByteArray out;
        {
            LogCapture log;
            QCOMPARE(t.read(1, 100, 2, &out, QStringLiteral("V100")), 0);
            QCOMPARE(t.write(1, 100, QByteArray::fromHex("55"), QStringLiteral("V100")), 0);
            QVERIFY2(log.all().isEmpty(), qPrintable(log.all().join('\n')));
        }
        t.debugFlag() = true;
        LogCapture log;
        t.mark();
        QCOMPARE(t.read(1, 100, 2, &out, QStringLiteral("V100")), 0);
        const QByteArray readJob = t.job();
        t.mark();
        QCOMPARE(t.write(1, 100, QByteArray::fromHex("55"), QStringLiteral("V100")), 0);
        const QStringList lines = log.all();
        QCOMPARE(lines.size(), 4);
        const QString head = tag + QStringLiteral("%1 ") + t.where() + QStringLiteral(" Area=V100  len = %2 msg : ");
        QCOMPARE(lines[0], head.arg(QStringLiteral("读命令")).arg(2) + readJob.toHex());
        QVERIFY2(lines[1].startsWith(head.arg(QStringLiteral("响应")).arg(2) + readAnswerStart), qPrintable(lines[1]));
        QCOMPARE(lines[2], head.arg(QStringLiteral("写命令")).arg(1) + t.job().toHex());
        QVERIFY2(lines[3].startsWith(head.arg(QStringLiteral("响应")).arg(1)) && lines[3].endsWith(writeAnswerEnd), qPrintable(lines[3]));
    }
};

QTEST_GUILESS_MAIN(TestJobPorts)
#include "tst_job_ports.moc"
