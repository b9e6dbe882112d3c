// What both transports do alike, through JobPort, one table per behaviour with a transport column:
// "s7"; "ppi" over the TCP gateway; "ppi pty" where the serial line matters. Each transport talks
// to a simulated PLC of its own in a thread; a row names the simulator's fault block it reaches.
#include <QtTest>
#include <QTcpServer>

#include <memory>

#include "CmdSiemens_PPI.h"
#include "CmdSiemens_S7.h"
#include "IsoTcpFrames.h"
#include "LogCapture.h"
#include "SimulatorThreads.h"

namespace {

const QString Loopback = QStringLiteral("127.0.0.1");
const QByteArray Poll = QByteArray::fromHex("1002005c5e16");
constexpr int V = 0x84;

// A call that waits out the answer time-out must be back by then, with a margin that a loaded
// CI machine keeps (a 9600 baud line adds well under 100 ms for these frames).
constexpr int WaitBoundMs = 2000 + 800;

// DB1 (V memory) byte i holds 0xA0 + i; a fault block holds 0x99 only, so that its late answer,
// taken for another job's, shows.
QByteArray pattern(int at, int length)
{
    QByteArray b;
    for (int i = at; i < at + length; ++i)
        b.append(char(0xA0 + i));
    return b;
}

// One transport connected to a simulated PLC of its own.
class Transport
{
public:
    explicit Transport(const QString &which)
        : s7(which == QLatin1String("s7")), pty(which == QLatin1String("ppi pty"))
    {
        if (s7)
            sim = std::make_unique<SimulatorThread>();
        else
            station = std::make_unique<StationThread>(pty ? StationThread::Medium::Pty : StationThread::Medium::Gateway,
                                                      2, ptyPath());
        ppiPort.setStation(2);
    }
    bool ok() const { return s7 ? sim->port != 0 : station->ok(); }
    bool isS7() const { return s7; }
    // Fills DB1 and the fault block before the link is made.
    void fill(int faultBlock)
    {
        memory().write(V, 1, 0, pattern(0, 16));
        if (faultBlock)
            memory().write(V, faultBlock, 0, QByteArray(16, char(0x99)));
    }
    int connect()
    {
        if (s7)
            return s7Port.ConnectDrive(Loopback, sim->port);
        if (pty)
            return ppiPort.serialConnectDrive(ptyPath(), 9600, 8, 1, QStringLiteral("E"), 2);
        return ppiPort.EthConnectDrive(Loopback, station->port(), 2);
    }
    // A connect to another target: a TCP port, or (the pty row) a serial port's name.
    int connectTo(const QString &target, quint16 tcpPort)
    {
        if (s7)
            return s7Port.ConnectDrive(target, tcpPort);
        if (pty)
            return ppiPort.serialConnectDrive(target, 9600, 8, 1, QStringLiteral("N"), 2);
        return ppiPort.EthConnectDrive(target, tcpPort, 2);
    }
    // The disconnect a host calls for this medium.
    int disconnect()
    {
        if (s7)
            return s7Port.DisConnectDrive();
        return pty ? ppiPort.serialDisConnectDrive() : ppiPort.EthDisConnectDrive();
    }
    // The disconnect that says 1 when there was no link.
    int disconnectIdle() { return s7 ? s7Port.DisConnectDrive() : ppiPort.EthDisConnectDrive(); }
    int destroyFree() { return s7 ? s7Port.DestroyFree() : ppiPort.DestroyFree(); }
    int status() { return s7 ? s7Port.Connection_status() : ppiPort.Connection_status(); }
    bool &debugFlag() { return s7 ? s7Port.debugFlag : ppiPort.debugFlag; }
    int sendData(const QByteArray &request, QByteArray &reply, int wait)
    {
        return s7 ? s7Port.SendData(request, reply, wait) : ppiPort.SendData(request, reply, wait);
    }
    // More than the kernel's buffers take while nobody reads, in the medium's own framing.
    QByteArray flood() const
    {
        return s7 ? IsoTcp::wrapPdu(QByteArray(8 << 20, char(0x32))) : QByteArray(8 << 20, char(0x10));
    }
    JobPort &port() { return s7 ? static_cast<JobPort &>(s7Port) : ppiPort; }
    int read(int db, int at, int length, QByteArray *out, const QString &text = QStringLiteral("DB"))
    {
        return port().readJob(PlcPlace{V, db, at, 0, text}, length, out);
    }
    int write(int db, int at, const QByteArray &data, const QString &text = QStringLiteral("DB"))
    {
        return port().writeJob(PlcPlace{V, db, at, 0, text}, data, false);
    }
    PlcMemory &memory() { return s7 ? sim->memory : station->memory; }
    quint16 plcPort() const { return s7 ? sim->port : station->port(); }
    QString where() const { return QStringLiteral("127.0.0.1:%1").arg(plcPort()); }
    // The frames the PLC has received since mark(): S7 jobs; PPI frames of any kind.
    void mark()
    {
        if (s7)
            jobsAtMark = sim->server->jobCount();
        else
            station->station->clearReceivedFrames();
    }
    int framesSinceMark() const
    {
        return s7 ? sim->server->jobCount() - jobsAtMark : station->station->receivedFrames().size();
    }
    int polls() const { return s7 ? 0 : station->station->receivedFrames().count(Poll); }
    // The frame a job went out in, as the PLC received it: right after that job.
    QByteArray lastJob() const { return s7 ? sim->server->lastJob() : station->station->receivedFrames().value(0); }
    // Until a late reply has reached the driver's side (S7: taken in by the host's event loop).
    bool lateReplyArrived()
    {
        if (!s7)
            return station->station->waitForLateReply(5000);
        return QTest::qWaitFor([this] { return !s7Port.recvBuf.isEmpty(); }, 3000);
    }

    CmdSiemens_S7 s7Port;
    CmdSiemens_PPI ppiPort;

private:
    QString ptyPath() const { return dir.filePath(QStringLiteral("ttyPPI")); }

    bool s7;
    bool pty;
    QTemporaryDir dir;
    std::unique_ptr<SimulatorThread> sim;
    std::unique_ptr<StationThread> station;
    int jobsAtMark = 0;
};

#define ELAPSED_BELOW(clock, ms) QVERIFY2((clock).elapsed() < (ms), qPrintable(QString::number((clock).elapsed())))

} // namespace

class TestJobPorts : public QObject
{
    Q_OBJECT
private slots:
    void lifecycle_data();
    void lifecycle();
    void failedConnect_data();
    void failedConnect();
    void boundedWaits_data();
    void boundedWaits();
    void windowStaysClosed_data();
    void windowStaysClosed();
    void lateAnswerIsDropped_data();
    void lateAnswerIsDropped();
    void traceOnlyWhileDebugging_data();
    void traceOnlyWhileDebugging();
};

void TestJobPorts::lifecycle_data()
{
    QTest::addColumn<QString>("transport");
    for (const char *t : {"s7", "ppi", "ppi pty"})
        QTest::newRow(t) << QString::fromLatin1(t);
}

// No link before a connect and after a disconnect: nothing is sent; a reconnect works again.
void TestJobPorts::lifecycle()
{
    QFETCH(QString, transport);
    Transport t(transport);
    QVERIFY(t.ok());
    t.fill(0);
    QVERIFY(!t.debugFlag());
    QCOMPARE(t.disconnectIdle(), 1);
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
    out.clear();
    QCOMPARE(t.read(1, 0, 1, &out), 0);
    QCOMPARE(out.toHex(), pattern(0, 1).toHex());
    QCOMPARE(t.destroyFree(), 0);
    QCOMPARE(t.destroyFree(), 1);
    QCOMPARE(t.status(), -3);
    if (t.isS7())
        QVERIFY(!t.s7Port.tcpSocket);
}

enum Peer { Nobody, Mute, OwnPlc };

void TestJobPorts::failedConnect_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("target");    // a host, or the pty row's port name
    QTest::addColumn<int>("peer");          // who listens at the TCP port
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("line");      // the log line it writes, when the row names one
    // Only address literals: a name would wait for a resolver.
    QTest::newRow("s7, host name") << "s7" << "localhost" << int(OwnPlc) << -1 << QString();
    QTest::newRow("s7, no host") << "s7" << QString() << int(OwnPlc) << -1 << QString();
    QTest::newRow("ppi, host name") << "ppi" << "plc.example" << int(Nobody) << -1 << QString();
    QTest::newRow("s7, nobody listens") << "s7" << Loopback << int(Nobody) << -3 << QString();
    QTest::newRow("ppi, nobody listens") << "ppi" << Loopback << int(Nobody) << -3 << QString();
    QTest::newRow("s7, set-up never answered") << "s7" << Loopback << int(Mute) << -2 << QString();
    // Nothing is greeted: the line of the failed open is the only one.
    QTest::newRow("ppi pty, port does not open") << "ppi pty" << "/nonexistent/ttyPPI" << int(Nobody) << -1
                                                 << QStringLiteral("/nonexistent/ttyPPI打开失败!");
}

void TestJobPorts::failedConnect()
{
    QFETCH(QString, transport);
    QFETCH(QString, target);
    QFETCH(int, peer);
    QFETCH(QString, line);
    Transport t(transport);
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    quint16 port = listener.serverPort();
    if (peer == Nobody)
        listener.close();
    else if (peer == OwnPlc)
        port = t.plcPort();
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    QTEST(t.connectTo(target, port), "result");
    ELAPSED_BELOW(clock, WaitBoundMs);
    if (!line.isEmpty())
        QCOMPARE(log.all(), QStringList(line));
    QCOMPARE(t.status(), -3);
    QByteArray out;
    QCOMPARE(t.read(1, 0, 1, &out), -3);
}

void TestJobPorts::boundedWaits_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("minPolls");
    QTest::addColumn<bool>("hostEvents");   // the wait runs the thread's events (PPI only)
    // The warning of a link closed after an unanswered request names the time-out.
    QTest::addColumn<QString>("closeLine");
    QTest::newRow("s7, PLC never answers") << "s7" << int(S7Server::SilentDb) << 0 << false
                                           << QStringLiteral("lib[Siemens_S7]%1 Disconnected= QAbstractSocket::SocketTimeoutError");
    for (const char *t : {"ppi", "ppi pty"}) {
        const QString ppi = QString::fromLatin1(t);
        QTest::addRow("%s, station never answers", t) << ppi << int(PpiStation::SilentBlock) << 0 << true << QString();
        QTest::addRow("%s, poll gets no answer", t) << ppi << int(PpiStation::SilentPollBlock) << 1 << true << QString();
        QTest::addRow("%s, answer never ready", t) << ppi << int(PpiStation::NeverReadyBlock) << 2 << true << QString();
        QTest::addRow("%s, garbage instead of E5", t) << ppi << int(PpiStation::GarbageBlock) << 0 << true << QString();
    }
}

// Whatever the PLC does, one exchange ends within its one deadline, reports no answer and leaves
// the link usable.
void TestJobPorts::boundedWaits()
{
    QFETCH(QString, transport);
    QFETCH(int, block);
    QFETCH(int, minPolls);
    QFETCH(bool, hostEvents);
    QFETCH(QString, closeLine);
    Transport t(transport);
    t.fill(block);
    QCOMPARE(t.connect(), 0);
    t.mark();
    QByteArray out;
    int ran = 0;
    QTimer hostTimer;   // a host's timer, due during the call
    hostTimer.setSingleShot(true);
    QObject::connect(&hostTimer, &QTimer::timeout, [&ran] { ++ran; });
    hostTimer.start(100);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(t.read(block, 0, 2, &out), -2);
    ELAPSED_BELOW(clock, WaitBoundMs);
    QCOMPARE(ran, int(hostEvents));
    QVERIFY(out.isEmpty());
    QVERIFY(t.polls() >= minPolls);
    clock.start();
    QCOMPARE(t.write(block, 0, QByteArray(1, 'x')), -2);
    ELAPSED_BELOW(clock, WaitBoundMs);
    QCOMPARE(t.read(1, 0, 2, &out), 0);
    QCOMPARE(out.toHex(), pattern(0, 2).toHex());
    if (!closeLine.isEmpty()) {
        QCOMPARE(t.write(block, 0, QByteArray(1, 'x')), -2);
        LogCapture log;
        t.disconnect();
        QCOMPARE(log.lines(QtWarningMsg), QStringList(closeLine.arg(t.where())));
    }
}

void TestJobPorts::windowStaysClosed_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("result");    // of the job after which the PLC stops reading
    QTest::newRow("s7") << "s7" << int(S7Server::WindowClosedDb) << 0;
    QTest::newRow("ppi") << "ppi" << int(PpiStation::WindowClosedBlock) << -2;
}

// A peer whose receive window stays closed holds neither a request nor a disconnect past its
// time-out.
void TestJobPorts::windowStaysClosed()
{
    QFETCH(QString, transport);
    QFETCH(int, block);
    Transport t(transport);
    t.fill(block);
    QCOMPARE(t.connect(), 0);
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    QTEST(t.read(block, 0, 2, &out), "result");
    ELAPSED_BELOW(clock, WaitBoundMs);
    QByteArray reply;
    clock.start();
    QCOMPARE(t.sendData(t.flood(), reply, 50), -1);
    ELAPSED_BELOW(clock, WaitBoundMs);
    clock.start();
    QCOMPARE(t.read(1, 0, 2, &out), -2);
    ELAPSED_BELOW(clock, WaitBoundMs);
    clock.start();
    QCOMPARE(t.disconnect(), 0);
    ELAPSED_BELOW(clock, WaitBoundMs);
    QCOMPARE(t.status(), -3);
    QCOMPARE(t.connect(), 0);
    out.clear();
    QCOMPARE(t.read(1, 0, 2, &out), 0);
    QCOMPARE(out.toHex(), pattern(0, 2).toHex());
}

void TestJobPorts::lateAnswerIsDropped_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("block");
    QTest::addColumn<bool>("settle");       // the late reply is in before the next call
    QTest::addColumn<int>("framesPerRead");
    // Late, it comes while the next request waits; it carries the other reference.
    QTest::newRow("s7, late answer") << "s7" << int(S7Server::LateAnswerDb) << false << 1;
    // The host's event loop takes the first segment between two calls; the second comes while the
    // next request waits. Both are one frame of the earlier request, not a broken one.
    QTest::newRow("s7, late answer in two segments") << "s7" << int(S7Server::LateSplitAnswerDb) << true << 1;
    // Waiting on the medium when the host calls again (it ran no events in between). A stale
    // acknowledgement taken for a job's own costs a poll more, whose unneeded acknowledgement is
    // stale for the next job in turn: one request and one poll each.
    for (const char *t : {"ppi", "ppi pty"}) {
        const QString ppi = QString::fromLatin1(t);
        QTest::addRow("%s, late answer in pieces", t) << ppi << int(PpiStation::LateAnswerBlock) << true << 2;
        QTest::addRow("%s, late acknowledgement", t) << ppi << int(PpiStation::LateAckBlock) << true << 2;
    }
}

// A reply that comes after its exchange gave up never becomes the next request's reply.
void TestJobPorts::lateAnswerIsDropped()
{
    QFETCH(QString, transport);
    QFETCH(int, block);
    QFETCH(bool, settle);
    QFETCH(int, framesPerRead);
    Transport t(transport);
    t.fill(block);
    QCOMPARE(t.connect(), 0);
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(t.read(block, 0, 2, &out), -2);
    ELAPSED_BELOW(clock, WaitBoundMs);
    if (settle)
        QVERIFY(t.lateReplyArrived());
    t.mark();
    QCOMPARE(t.read(1, 6, 2, &out), 0);
    QCOMPARE(out.toHex(), pattern(6, 2).toHex());
    QCOMPARE(t.read(1, 8, 2, &out), 0);
    QCOMPARE(out.toHex(), pattern(6, 4).toHex());
    // (An extra poll of the first read is surely on record once the second has its answer.)
    QCOMPARE(t.framesSinceMark(), 2 * framesPerRead);
    if (framesPerRead == 2)
        QCOMPARE(t.polls(), 2);
}

void TestJobPorts::traceOnlyWhileDebugging_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("tag");
    // The answers as the trace shows them: PPI frames end with 16; an S7 write's answer with its
    // item's code.
    QTest::addColumn<QString>("readAnswer");
    QTest::addColumn<QString>("writeAnswer");
    QTest::newRow("s7") << "s7" << "lib[Siemens_S7]" << "0300001b02f08032[0-9a-f]*" << "0300[0-9a-f]*0501ff";
    QTest::newRow("ppi") << "ppi" << "lib[Siemens_PPI]" << "68[0-9a-f]*16" << "68[0-9a-f]*16";
}

// Without debugging, jobs write no line; with it, each job's request as it went out and its answer.
void TestJobPorts::traceOnlyWhileDebugging()
{
    QFETCH(QString, transport);
    QFETCH(QString, tag);
    QFETCH(QString, readAnswer);
    QFETCH(QString, writeAnswer);
    Transport t(transport);
    t.fill(0);
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
    const QByteArray readJob = t.lastJob();
    t.mark();
    QCOMPARE(t.write(1, 100, QByteArray::fromHex("55"), QStringLiteral("V100")), 0);
    const QByteArray writeJob = t.lastJob();
    const QStringList lines = log.all();
    QCOMPARE(lines.size(), 4);
    const auto head = [&](const QString &what, int length) {
        return QRegularExpression::escape(QStringLiteral("%1%2 %3 Area=V100  len = %4 msg : ").arg(tag, what, t.where()).arg(length));
    };
    const QString expected[] = {
        head(QStringLiteral("读命令"), 2) + QString::fromLatin1(readJob.toHex()),
        head(QStringLiteral("响应"), 2) + readAnswer,
        head(QStringLiteral("写命令"), 1) + QString::fromLatin1(writeJob.toHex()),
        head(QStringLiteral("响应"), 1) + writeAnswer,
    };
    for (int i = 0; i < 4; ++i)
        QVERIFY2(QRegularExpression(QLatin1Char('^') + expected[i] + QLatin1Char('$')).match(lines.at(i)).hasMatch(),
                 qPrintable(lines.at(i)));
}

QTEST_GUILESS_MAIN(TestJobPorts)
#include "tst_job_ports.moc"
