#include "CmdSiemens_PPI.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QEventLoop>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include "AddressGrammar.h"
#include "GatewayMedium.h"
#include "PpiFrames.h"
#include "S7Pdu.h"
#include "S7Refusal.h"
#include "SerialLineMedium.h"

namespace {

// Bytes kept while waiting; more than that is a flood, and only its newest bytes can matter.
constexpr int ReceiveLimit = 4 * PpiFrames::MaxFrameLength;

// Written whatever the debug switch says: whoever commissions the link sees why a call failed.
const char *const NoAnswerLine = "lib[Siemens_PPI]返回的报文长度为0 %1 Area=%2  len = %3";
const char *const WrongAnswerLine = "lib[Siemens_PPI]报文返回错误 %1 Area=%2  len = %3 msg : %4";

} // namespace

CmdSiemens_PPI::CmdSiemens_PPI(QObject *parent)
    : QObject(parent)
{
    // Kept for the driver's life: the bytes of every exchange are collected without allocating.
    recvBuf.reserve(ReceiveLimit + PpiFrames::MaxFrameLength);
    // Objects that share a line (two hosts behind one gateway) must not count the same
    // references, or one takes the other's answer for its own.
    lastReference = quint16(QRandomGenerator::system()->bounded(65536u));
}

CmdSiemens_PPI::~CmdSiemens_PPI()
{
    DestroyFree();
}

// ---------------------------------------------------------------------------------------------
// Which medium, and is it up: asked here and nowhere else.

PpiMedium *CmdSiemens_PPI::medium() const
{
    if (serialLine)
        return serialLine.get();
    return gateway.get();
}

bool CmdSiemens_PPI::linkUp() const
{
    const PpiMedium *m = medium();
    return m && m->isUp();
}

int CmdSiemens_PPI::Connection_status()
{
    return linkUp() ? 0 : -3;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing the media

bool CmdSiemens_PPI::readSerialSettings(int baud, int dataBits, int stopBits, const QString &parity,
                                        SerialSettings::Line *line) const
{
    if (const char *field = SerialSettings::read(baud, dataBits, stopBits, parity, line)) {
        const QString value = QLatin1String(field) == QLatin1String("parity") ? parity
                              : QLatin1String(field) == QLatin1String("baud") ? QString::number(baud)
                              : QLatin1String(field) == QLatin1String("databits") ? QString::number(dataBits)
                                                                                  : QString::number(stopBits);
        qWarning().noquote() << QStringLiteral("lib[Siemens_PPI]串口参数无效 %1=%2").arg(QLatin1String(field), value);
        return false;
    }
    return true;
}

// A station outside 1..126 is refused before anything is opened: masking it would greet and
// then address another station, and 0 is a master's address (our own greeting's echo would
// answer it).
bool CmdSiemens_PPI::greetable(int station)
{
    if (PpiFrames::isStationAddress(station))
        return true;
    qWarning().noquote() << QStringLiteral("lib[Siemens_PPI]站地址无效 %1 (1..126)").arg(station);
    return false;
}

int CmdSiemens_PPI::serialConnectDrive(QString portName, int baud, int dataBits, int stopBits,
                                       QString parity, int station)
{
    // One medium at a time: the one opened now carries the frames, whatever the object had.
    releaseMedium();
    if (!greetable(station))
        return dropLink(-1);
    // Settings that name nothing known must not leave the line running with others.
    SerialSettings::Line line;
    if (!readSerialSettings(baud, dataBits, stopBits, parity, &line))
        return dropLink(-1);
    // Made on the calling thread, whichever thread made the driver: its notifications and
    // every wait then run there (see MediumSignal).
    serialLine = std::make_unique<SerialLineMedium>();
    connect(serialLine->port(), &QSerialPort::readyRead, this, &CmdSiemens_PPI::serialreadyRead, MediumSignal);
    connect(serialLine->port(), &QSerialPort::errorOccurred, this, &CmdSiemens_PPI::serialError, MediumSignal);
    if (!serialLine->open(portName, line)) {
        qDebug().noquote().nospace() << portName << QStringLiteral("打开失败!");
        return dropLink(-1);
    }
    lastArrival.start();    // the line's state is unknown: the first frame waits for an idle line
    const QPointer<CmdSiemens_PPI> self(this);
    const int greeted = handshake(station);
    if (!self)
        return -1;
    return greeted == 0 ? 0 : dropLink(-1);
}

int CmdSiemens_PPI::EthConnectDrive(QString ip, int tcpPort, int station)
{
    releaseMedium();
    port = tcpPort;
    if (!greetable(station))
        return dropLink(-1);
    if (!hostAddr.setAddress(ip))
        return dropLink(-1);
    // Made on the calling thread, as the serial line.
    gateway = std::make_unique<GatewayMedium>();
    connect(gateway->socket(), &QTcpSocket::connected, this, &CmdSiemens_PPI::Ethconnected, MediumSignal);
    connect(gateway->socket(), &QTcpSocket::disconnected, this, &CmdSiemens_PPI::Ethdisconnected, MediumSignal);
    connect(gateway->socket(), &QTcpSocket::readyRead, this, &CmdSiemens_PPI::EthreadyRead, MediumSignal);
    if (!gateway->open(hostAddr, quint16(tcpPort & 0xFFFF), ConnectWaitMs))
        return dropLink(-3);
    lastArrival.start();
    const QPointer<CmdSiemens_PPI> self(this);
    const int greeted = handshake(station);
    if (!self)
        return -3;
    return greeted == 0 ? 0 : dropLink(-3);
}

int CmdSiemens_PPI::dropLink(int result)
{
    // Nothing stays open behind a failed connect: a gateway that takes one client is free for
    // the next, and every request reports the link down at once until a connect succeeds.
    if (gateway)
        gateway->close();
    if (serialLine)
        serialLine->close();
    recvBuf.resize(0);      // keeps its room
    return result;
}

int CmdSiemens_PPI::serialDisConnectDrive()
{
    EthDisConnectDrive();
    return 0;
}

int CmdSiemens_PPI::EthDisConnectDrive()
{
    if (!medium())
        return 1;
    ++releases;
    if (serialLine)
        serialLine->close();
    else
        gateway->hangUp(DisconnectWaitMs);
    recvBuf.resize(0);
    return 0;
}

void CmdSiemens_PPI::releaseMedium()
{
    // Its last signals, from closing or from its destructor, are not for us.
    if (gateway) {
        disconnect(gateway->socket(), nullptr, this, nullptr);
        if (!gateway->isUnconnected())
            gateway->hangUp(DisconnectWaitMs);
        gateway.reset();
    }
    if (serialLine) {
        disconnect(serialLine->port(), nullptr, this, nullptr);
        serialLine->close();
        serialLine.reset();
    }
    recvBuf.resize(0);
}

int CmdSiemens_PPI::DestroyFree()
{
    if (!medium())
        return 1;
    ++releases;
    releaseMedium();
    return 0;
}

void CmdSiemens_PPI::serialError(QSerialPort::SerialPortError error)
{
    if (serialLine && serialLine->wentAway(error))
        wake();
}

// ---------------------------------------------------------------------------------------------
// Moving bytes

int CmdSiemens_PPI::lineTimeMs(int bytes) const
{
    const PpiMedium *m = medium();
    return m ? m->lineTimeMs(bytes) : 0;
}

qint64 CmdSiemens_PPI::idleTimeNs() const
{
    const PpiMedium *m = medium();
    return m ? m->idleTimeNs() : PpiMedium::idleTimeNsAt(GatewayIdleBaud);
}

void CmdSiemens_PPI::Determine_write(QByteArray frame)
{
    if (linkUp())
        medium()->send(frame);
}

// The one way into the receive buffer, for the waits and the media's notifications alike.
PpiMedium::Outcome CmdSiemens_PPI::receive(PpiMedium &from, int waitMs)
{
    const PpiMedium::Outcome got = from.receive(recvBuf, waitMs);
    if (got == PpiMedium::Outcome::Received) {
        if (recvBuf.size() > ReceiveLimit)
            recvBuf.remove(0, recvBuf.size() - ReceiveLimit);
        lastArrival.start();
        wake();
    }
    return got;
}

void CmdSiemens_PPI::wake()
{
    if (replyWait)
        replyWait->quit();
}

// Takes what the medium holds now, without waiting.
void CmdSiemens_PPI::receiveNow()
{
    if (linkUp())
        receive(*medium(), 0);
}

bool CmdSiemens_PPI::waitForBytes(const QDeadlineTimer &deadline)
{
    qint64 left = deadline.remainingTime();
    if (left <= 0)
        return true;
    // A gateway or a fast line answers within a few milliseconds: the device's own wait takes
    // those at a fraction of an event loop's cost, and the thread's events are held up no longer
    // than that. A longer wait runs them.
    if (linkUp()) {
        if (receive(*medium(), int(qMin<qint64>(left, QuickWaitMs))) != PpiMedium::Outcome::Nothing)
            return true;
        left = deadline.remainingTime();
        if (left <= 0 || !linkUp())
            return true;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);      // a coarse timer may fire 5 % early
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(int(left));
    replyWait = &loop;
    const QPointer<CmdSiemens_PPI> self(this);
    loop.exec();
    if (!self)
        return false;       // a host slot deleted us
    replyWait = nullptr;
    return true;
}

QDeadlineTimer CmdSiemens_PPI::stallPoint() const
{
    const qint64 since = lastArrival.isValid() ? lastArrival.elapsed() : FrameStallMs;
    return QDeadlineTimer(qMax<qint64>(0, FrameStallMs - since), Qt::PreciseTimer);
}

// Waits, within `deadline`, until no frame is arriving and the line has been idle for the idle
// time, so that what we send next starts on a free line. A frame that is still arriving is let
// finish, never cut: its tail would be scanned as frames of its own. With `dropHeld`, what came
// before is stale and dropped, as whole frames. False when the line never went idle in time.
bool CmdSiemens_PPI::awaitIdleLine(const QDeadlineTimer &deadline, bool dropHeld)
{
    for (;;) {
        receiveNow();
        int at = 0;
        for (;;) {
            const PpiFrames::Scan s = PpiFrames::scan(recvBuf, at);
            at += s.skip + s.length;
            if (s.length == 0)
                break;
        }
        if (dropHeld) {
            recvBuf.remove(0, at);
            at = 0;
        }
        QDeadlineTimer until = deadline;
        if (at < recvBuf.size()) {
            // A frame is arriving; one that stalled has failed, and the scan goes on behind it.
            const QDeadlineTimer stall = stallPoint();
            if (stall.hasExpired()) {
                recvBuf.remove(at, 1);
                continue;
            }
            until = qMin(until, stall);
        } else {
            const qint64 idleNs = lastArrival.isValid() ? idleTimeNs() - lastArrival.nsecsElapsed() : 0;
            if (idleNs <= 0)
                return true;
            until = qMin(until, QDeadlineTimer(idleNs / 1000000 + 1, Qt::PreciseTimer));
        }
        if (deadline.hasExpired() || !linkUp() || !waitForBytes(until))
            return false;
    }
}

QByteArray CmdSiemens_PPI::nextFrame(const QDeadlineTimer &deadline)
{
    for (;;) {
        const PpiFrames::Scan s = PpiFrames::scan(recvBuf);
        recvBuf.remove(0, s.skip);
        if (s.length > 0) {
            const QByteArray frame(recvBuf.constData(), s.length);     // a copy: recvBuf keeps its room
            recvBuf.remove(0, s.length);
            return frame;
        }
        QDeadlineTimer until = deadline;
        if (!recvBuf.isEmpty()) {
            // A candidate that stalled has failed: its first byte goes, and the scan goes on.
            const QDeadlineTimer stall = stallPoint();
            if (stall.hasExpired()) {
                recvBuf.remove(0, 1);
                continue;
            }
            until = qMin(until, stall);
        }
        if (deadline.hasExpired() || !linkUp() || !waitForBytes(until))
            return QByteArray();
    }
}

// The next frame that `judge` does not call foreign. A short acknowledgement right behind a
// request of another master that an E5 can answer may be that request's: it is set aside, and
// taken as ours only when the line then stays quiet for a slot time.
template <typename Judge>
QByteArray CmdSiemens_PPI::nextReply(const QDeadlineTimer &deadline, Judge judge)
{
    const QPointer<CmdSiemens_PPI> self(this);
    bool afterForeignRequest = false;
    QByteArray setAside;
    for (;;) {
        const QDeadlineTimer until =
            setAside.isEmpty() ? deadline : qMin(deadline, QDeadlineTimer(SlotTimeMs, Qt::PreciseTimer));
        const QByteArray frame = nextFrame(until);
        if (!self)
            return QByteArray();
        if (frame.isEmpty()) {
            if (setAside.isEmpty() || deadline.hasExpired() || !linkUp())
                return frame;
            if (recvBuf.isEmpty())
                return setAside;        // quiet for a slot time: nobody else answered
            setAside.clear();           // more traffic: the E5 was the other request's
            continue;
        }
        // Whatever comes next, a set-aside E5 with traffic behind it was not ours.
        setAside.clear();
        const bool shortAck = PpiFrames::isShortAck(frame);
        if (shortAck && afterForeignRequest) {
            setAside = frame;
            afterForeignRequest = false;
            continue;
        }
        if (judge(frame) != PpiFrames::Reply::Foreign)
            return frame;
        afterForeignRequest = !shortAck && PpiFrames::mayOwnShortAck(frame, ownAddr);
    }
}

// Before a poll: the whole frames that came meanwhile. An answer to this job among them is taken
// (the poll would only ask for it again); the rest is stale and dropped, so that nothing held
// is read as the reply to the poll.
QByteArray CmdSiemens_PPI::takeHeldAnswer(int station, quint16 reference)
{
    int at = 0;
    for (;;) {
        const PpiFrames::Scan s = PpiFrames::scan(recvBuf, at);
        if (s.length == 0)
            break;
        const int start = at + s.skip;
        at = start + s.length;
        const QByteArray frame(recvBuf.constData() + start, s.length);
        if (PpiFrames::classify(frame, station, ownAddr, reference) == PpiFrames::Reply::Answer) {
            recvBuf.remove(0, at);
            return frame;
        }
    }
    recvBuf.remove(0, at);
    return QByteArray();
}

QByteArray CmdSiemens_PPI::nextJobReply(const QDeadlineTimer &deadline, int station, quint16 reference)
{
    return nextReply(deadline, [&](const QByteArray &frame) {
        return PpiFrames::classify(frame, station, ownAddr, reference);
    });
}

int CmdSiemens_PPI::exchangeFrame(const QByteArray &request, int replyBytes, QByteArray &reply)
{
    const QDeadlineTimer deadline(AnswerWaitMs + lineTimeMs(request.size() + replyBytes), Qt::PreciseTimer);
    if (!awaitIdleLine(deadline, true))
        return -1;
    Determine_write(request);
    const QByteArray frame = nextFrame(deadline);
    if (frame.isEmpty())
        return -1;
    reply.append(frame);
    return 0;
}

int CmdSiemens_PPI::SendData(QByteArray request, QByteArray &reply, int timeout)
{
    if (timeout < 1) {
        if (awaitIdleLine(QDeadlineTimer(AnswerWaitMs, Qt::PreciseTimer), true))
            Determine_write(request);
        return -1;
    }
    return exchangeFrame(request, PpiFrames::MaxFrameLength, reply);
}

// One job under one deadline: the request, the station's acknowledgement, as many polls as the
// station needs to get its answer ready, and the answer; each frame we send waits for an idle
// line. 0 with the answer (or the first reply, when it is no acknowledgement) in `answer`; -2
// when nothing usable came in time.
int CmdSiemens_PPI::runJob(const QByteArray &request, int station, quint16 reference, int answerBytes,
                           QByteArray &answer)
{
    const QByteArray pollFrame = PpiFrames::poll(station, ownAddr);
    const int lineBytes = request.size() + 1 + pollFrame.size() + answerBytes;
    const QDeadlineTimer deadline(AnswerWaitMs + lineTimeMs(lineBytes), Qt::PreciseTimer);
    if (!awaitIdleLine(deadline, true) || deadline.hasExpired())
        return -2;
    Determine_write(request);
    QByteArray reply = nextJobReply(deadline, station, reference);
    if (reply.isEmpty())
        return -2;
    if (!PpiFrames::letsMasterPoll(reply)) {
        answer = reply;
        return 0;
    }
    for (;;) {
        // What came since belongs to the exchange: it stays for the scan.
        // Time a host slot took inside a wait counts too: nothing goes out past the deadline.
        if (!awaitIdleLine(deadline, false) || deadline.hasExpired())
            return -2;
        answer = takeHeldAnswer(station, reference);
        if (!answer.isEmpty())
            return 0;
        Determine_write(pollFrame);
        reply = nextJobReply(deadline, station, reference);
        if (reply.isEmpty())
            return -2;
        if (!PpiFrames::isShortAck(reply)) {
            answer = reply;
            return 0;
        }
        // Not ready yet: ask again, while the exchange's deadline allows.
        if (!pause(int(qMin<qint64>(RepollPauseMs, deadline.remainingTime()))) || deadline.hasExpired())
            return -2;
    }
}

quint16 CmdSiemens_PPI::nextReference()
{
    // Running and never 0, so that an answer to an earlier job cannot pass for this one's.
    if (++lastReference == 0)
        lastReference = 1;
    return lastReference;
}

// ---------------------------------------------------------------------------------------------
// Exchanges

int CmdSiemens_PPI::handshake(int station)
{
    const QByteArray frame = PpiFrames::greeting(station, ownAddr);
    const QDeadlineTimer deadline(AnswerWaitMs + lineTimeMs(2 * PpiFrames::FixedLength), Qt::PreciseTimer);
    QByteArray reply;
    if (awaitIdleLine(deadline, true)) {
        Determine_write(frame);
        // Our greeting coming back (a 2-wire adapter echoes) and the line's other traffic are
        // not the station's reply.
        reply = nextReply(deadline, [this](const QByteArray &f) { return PpiFrames::classifyGreetingReply(f, ownAddr); });
    }
    qDebug().noquote() << frame.toHex() << reply.toHex();
    return PpiFrames::greetingAnswered(reply, station) ? 0 : 1;
}

unsigned char CmdSiemens_PPI::cs_Check(QByteArray bytes, unsigned char count)
{
    return PpiFrames::checksum(bytes, 0, count);
}

int CmdSiemens_PPI::PPI_Rx_cheack(QByteArray reply)
{
    return PpiFrames::letsMasterPoll(reply) ? 0 : 1;
}

void CmdSiemens_PPI::mysleep(int ms)
{
    pause(ms);
}

bool CmdSiemens_PPI::pause(int ms)
{
    // Waits for events instead of spinning over them: the HMI shares the processor.
    if (ms <= 0)
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    const QPointer<CmdSiemens_PPI> self(this);
    loop.exec();
    return !self.isNull();
}

void CmdSiemens_PPI::trace(const char *kind, const QString &name, int length, const QByteArray &bytes) const
{
    qDebug().noquote() << QStringLiteral("lib[Siemens_PPI]%1 %2:%3 Area=%4  len = %5 msg : %6")
                              .arg(QString::fromUtf8(kind), hostAddr.toString(), QString::number(port),
                                   name, QString::number(length), QString::fromLatin1(bytes.toHex()));
}

int CmdSiemens_PPI::readCapacity() const
{
    return S7Pdu::readCapacity(PpiFrames::JobPduLength);
}

int CmdSiemens_PPI::writeCapacity() const
{
    return S7Pdu::writeCapacity(PpiFrames::JobPduLength);
}

int CmdSiemens_PPI::readJob(const PlcPlace &place, int length, QByteArray *out)
{
    return readFrom(jobStation, place, length, out);
}

int CmdSiemens_PPI::writeJob(const PlcPlace &place, const QByteArray &data, bool bitItem)
{
    return writeTo(jobStation, place, data, bitItem);
}

int CmdSiemens_PPI::readElements(const PlcPlace &place, int count, QByteArray *words)
{
    const int area = AddressGrammar::isTimer(place.area) ? AddressGrammar::Timer200 : AddressGrammar::Counter200;
    const int answerBytes = count * S7Pdu::MaxElementRecord;
    if (count < 0 || answerBytes > PpiFrames::MaxReadBytes)
        return -1;
    const quint16 reference = nextReference();
    const QByteArray request =
        PpiFrames::elementReadRequest(jobStation, ownAddr, area, place.byteAddress, count, reference);
    if (request.isEmpty())
        return -1;
    if (!readyToSend(jobStation))
        return -3;
    if (debugFlag)
        trace("读命令", place.text, count, request);
    QByteArray answer;
    const QPointer<CmdSiemens_PPI> self(this);
    const quint64 releasesBefore = releases;
    runJob(request, jobStation, reference, PpiFrames::readAnswerLength(answerBytes), answer);
    // Deleted or released from a host slot inside the wait: nothing of this object is touched.
    if (!self || releases != releasesBefore)
        return -3;
    if (debugFlag)
        trace("响应", place.text, count, answer);
    return judged(answer, place.text, count, [&] {
        return PpiFrames::judgeElementReadAnswer(answer, jobStation, ownAddr, area, count, words);
    });
}

int CmdSiemens_PPI::Read_area(int byteAddress, int length, QByteArray *out, int station, int dbNumber,
                              int area, QString name)
{
    return readFrom(station, PlcPlace{area, dbNumber, byteAddress, 0, name}, length, out);
}

int CmdSiemens_PPI::WriteCoilsQarea(int dbNumber, int bitAddress, int count, int station, QByteArray data,
                                    int area, QString name, bool bitItem)
{
    return writeCounted(data, count, [&](const QByteArray &bytes) {
        return writeTo(station, PlcPlace::atBit(area, dbNumber, bitAddress, name), bytes, bitItem);
    });
}

// Whether a job may go out now: the station is one a job can address, and the link is up as
// far as the medium can tell without running events (a gateway that hung up while we were idle
// is seen here, before anything is sent into it).
bool CmdSiemens_PPI::readyToSend(int station)
{
    if (!PpiFrames::isStationAddress(station) || !linkUp())
        return false;
    if (!medium()->peerClosed())
        return true;
    medium()->close();
    return false;
}

int CmdSiemens_PPI::readFrom(int station, const PlcPlace &place, int length, QByteArray *out)
{
    // Frames that cannot carry the request or its answer are never sent (the facade refuses them first).
    if (length < 0 || length > PpiFrames::MaxReadBytes || place.byteAddress < 0)
        return -1;
    const quint16 reference = nextReference();
    const QByteArray request =
        PpiFrames::readRequest(station, ownAddr, place.area, place.dbNumber, place.byteAddress, length, reference);
    if (request.isEmpty())
        return -1;      // no job can name that place: nothing is sent
    if (!readyToSend(station))
        return -3;

    if (debugFlag)
        trace("读命令", place.text, length, request);
    QByteArray answer;
    const QPointer<CmdSiemens_PPI> self(this);
    const quint64 releasesBefore = releases;
    runJob(request, station, reference, PpiFrames::readAnswerLength(length), answer);
    // A host slot inside a wait deleted this object or released its link: the call ends as one
    // whose link is down.
    if (!self || releases != releasesBefore)
        return -3;
    if (debugFlag)
        trace("响应", place.text, length, answer);

    return judged(answer, place.text, length,
                  [&] { return PpiFrames::judgeReadAnswer(answer, station, ownAddr, length, out); });
}

int CmdSiemens_PPI::writeTo(int station, const PlcPlace &place, const QByteArray &data, bool bitItem)
{
    const int count = data.size();
    const int bitAddress = place.bitAddress();
    if (count > PpiFrames::MaxWriteBytes || bitAddress < 0)
        return -1;
    const QByteArray payload = bitItem ? data.left(1) : data;
    const quint16 reference = nextReference();
    const QByteArray request = PpiFrames::writeRequest(station, ownAddr, place.area, place.dbNumber, bitAddress,
                                                       bitItem, payload, reference);
    if (request.isEmpty())
        return -1;      // no job can name that place: nothing is sent
    if (!readyToSend(station))
        return -3;

    QByteArray answer;
    const QPointer<CmdSiemens_PPI> self(this);
    const quint64 releasesBefore = releases;
    runJob(request, station, reference, PpiFrames::WriteAnswerLength, answer);
    if (!self || releases != releasesBefore)
        return -3;
    if (debugFlag) {
        trace("写命令", place.text, count, request);
        trace("响应", place.text, count, answer);
    }

    // Bit and byte items alike.
    return judged(answer, place.text, count, [&] { return PpiFrames::judgeWriteAnswer(answer, station, ownAddr); });
}

QString CmdSiemens_PPI::linkName() const
{
    if (serialLine)
        return serialLine->port()->portName();
    return QStringLiteral("%1:%2").arg(hostAddr.toString()).arg(port);
}

template <typename Judge>
int CmdSiemens_PPI::judged(const QByteArray &answer, const QString &name, int length, Judge judge)
{
    if (answer.isEmpty()) {
        qWarning().noquote() << QString::fromUtf8(NoAnswerLine).arg(linkName(), name).arg(length);
        return -2;
    }
    const int r = judge();
    if (r != 0) {
        // The PLC's reason, when the answer carries one (the station answers with S7 PDUs).
        const PpiFrames::Frame f = PpiFrames::parse(answer);
        qWarning().noquote() << QString::fromUtf8(WrongAnswerLine)
                                        .arg(linkName(), name)
                                        .arg(length)
                                        .arg(QString::fromLatin1(answer.toHex()))
                                    + S7Refusal::warningSuffix(S7Refusal::of(f.data));
    }
    return r;
}

// ---------------------------------------------------------------------------------------------
// Receive paths: every delivery is appended to the bytes the running exchange frames.

void CmdSiemens_PPI::Ethconnected()
{
}

void CmdSiemens_PPI::Ethdisconnected()
{
    qWarning().noquote() << QStringLiteral("lib[Siemens_PPI]%1:%2 Disconnected=").arg(hostAddr.toString()).arg(port)
                         << (gateway ? gateway->error() : QAbstractSocket::UnknownSocketError);
    wake();
}

void CmdSiemens_PPI::EthreadyRead()
{
    if (gateway)
        receive(*gateway, 0);
}

void CmdSiemens_PPI::serialreadyRead()
{
    if (serialLine)
        receive(*serialLine, 0);
}
