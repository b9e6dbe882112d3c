#include "CmdSiemens_PPI.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QPointer>
#include <QRandomGenerator>

#include "AddressGrammar.h"
#include "GatewayMedium.h"
#include "PpiFrames.h"
#include "S7Pdu.h"
#include "S7Refusal.h"
#include "SerialLineMedium.h"

namespace {

// Written whatever the debug switch says: whoever commissions the link sees why a call failed.
const char *const NoAnswerLine = "lib[Siemens_PPI]返回的报文长度为0 %1 Area=%2  len = %3";
const char *const WrongAnswerLine = "lib[Siemens_PPI]报文返回错误 %1 Area=%2  len = %3 msg : %4";

} // namespace

CmdSiemens_PPI::CmdSiemens_PPI(QObject *parent)
    : QObject(parent)
{
    // Objects that share a line (two hosts behind one gateway) must not count the same
    // references, or one takes the other's answer for its own.
    lastReference = quint16(QRandomGenerator::system()->bounded(65536u));
}

CmdSiemens_PPI::~CmdSiemens_PPI()
{
    DestroyFree();
}

// ---------------------------------------------------------------------------------------------
// The medium, and is it up

int CmdSiemens_PPI::Connection_status()
{
    return linkUp() ? 0 : -3;
}

template <typename Medium>
Medium *CmdSiemens_PPI::adopt()
{
    releaseMedium();
    // Made on the calling thread, whichever thread made the driver: its reports and every wait
    // then run there.
    auto made = std::make_unique<Medium>();
    Medium *const m = made.get();
    m->setListener([this](PpiMedium::Event event, const QString &why) { mediumEvent(event, why); });
    link = std::move(made);
    receiver.setMedium(m);
    return m;
}

// Every delivery is appended to the bytes the running exchange frames.
void CmdSiemens_PPI::mediumEvent(PpiMedium::Event event, const QString &why)
{
    if (event == PpiMedium::Event::Bytes) {
        receiver.bytesCame();
        return;
    }
    if (!why.isEmpty())
        qWarning().noquote() << QStringLiteral("lib[Siemens_PPI]%1 Disconnected=").arg(linkName()) << why;
    receiver.wake();
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
    if (!adopt<SerialLineMedium>()->open(portName, line)) {
        qDebug().noquote().nospace() << portName << QStringLiteral("打开失败!");
        return dropLink(-1);
    }
    return greetOpenedLine(station, -1);
}

int CmdSiemens_PPI::EthConnectDrive(QString ip, int tcpPort, int station)
{
    releaseMedium();
    port = tcpPort;
    if (!greetable(station))
        return dropLink(-1);
    if (!hostAddr.setAddress(ip))
        return dropLink(-1);
    if (!adopt<GatewayMedium>()->open(hostAddr, quint16(tcpPort & 0xFFFF), ConnectWaitMs))
        return dropLink(-3);
    return greetOpenedLine(station, -3);
}

// The line just opened greets the station: 0, or `failure` with the link dropped (the object
// itself may have gone in a host slot during the greeting).
int CmdSiemens_PPI::greetOpenedLine(int station, int failure)
{
    receiver.lineOpened();
    const QPointer<CmdSiemens_PPI> self(this);
    const int greeted = handshake(station);
    if (!self)
        return failure;
    return greeted == 0 ? 0 : dropLink(failure);
}

int CmdSiemens_PPI::dropLink(int result)
{
    // Nothing stays open behind a failed connect: a gateway that takes one client is free for
    // the next, and every request reports the link down at once until a connect succeeds.
    if (link)
        link->close();
    receiver.clear();
    return result;
}

int CmdSiemens_PPI::serialDisConnectDrive()
{
    EthDisConnectDrive();
    return 0;
}

int CmdSiemens_PPI::EthDisConnectDrive()
{
    if (!link)
        return 1;
    ++releases;
    link->leave(DisconnectWaitMs);
    receiver.clear();
    return 0;
}

void CmdSiemens_PPI::releaseMedium()
{
    // Its last reports, from closing or from its destructor, are not for us.
    if (link) {
        link->setListener(nullptr);
        link->leave(DisconnectWaitMs);
        link.reset();
    }
    receiver.setMedium(nullptr);
}

int CmdSiemens_PPI::DestroyFree()
{
    if (!link)
        return 1;
    ++releases;
    releaseMedium();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Moving bytes

int CmdSiemens_PPI::lineTimeMs(int bytes) const
{
    return link ? link->lineTimeMs(bytes) : 0;
}

void CmdSiemens_PPI::Determine_write(QByteArray frame)
{
    if (linkUp())
        link->send(frame);
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
        const QByteArray frame = receiver.nextFrame(until);
        if (!self)
            return QByteArray();
        if (frame.isEmpty()) {
            if (setAside.isEmpty() || deadline.hasExpired() || !linkUp())
                return frame;
            if (receiver.holdsNothing())
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

QByteArray CmdSiemens_PPI::nextJobReply(const QDeadlineTimer &deadline, int station, quint16 reference)
{
    return nextReply(deadline, [&](const QByteArray &frame) {
        return PpiFrames::classify(frame, station, ownAddr, reference);
    });
}

int CmdSiemens_PPI::SendData(QByteArray request, QByteArray &reply, int timeout)
{
    const int lineMs = timeout < 1 ? 0 : lineTimeMs(request.size() + PpiFrames::MaxFrameLength);
    const QDeadlineTimer deadline(AnswerWaitMs + lineMs, Qt::PreciseTimer);
    if (!receiver.awaitIdleLine(deadline, true))
        return -1;
    Determine_write(request);
    const QByteArray frame = timeout < 1 ? QByteArray() : receiver.nextFrame(deadline);
    if (frame.isEmpty())
        return -1;
    reply.append(frame);
    return 0;
}

// One job under one deadline: the request, the station's acknowledgement, as many polls as the
// station needs to get its answer ready, and the answer; each frame we send waits for an idle
// line. 0 with the answer (or the first reply, when it is no acknowledgement) in `answer`; -2
// when nothing usable came in time.
int CmdSiemens_PPI::runJob(const Job &job, QByteArray &answer)
{
    const QByteArray pollFrame = PpiFrames::poll(job.station, ownAddr);
    const int lineBytes = job.request.size() + 1 + pollFrame.size() + job.answerBytes;
    const QDeadlineTimer deadline(AnswerWaitMs + lineTimeMs(lineBytes), Qt::PreciseTimer);
    if (!receiver.awaitIdleLine(deadline, true) || deadline.hasExpired())
        return -2;
    Determine_write(job.request);
    QByteArray reply = nextJobReply(deadline, job.station, job.reference);
    if (reply.isEmpty())
        return -2;
    if (!PpiFrames::letsMasterPoll(reply)) {
        answer = reply;
        return 0;
    }
    for (;;) {
        // What came since belongs to the exchange: it stays for the scan.
        // Time a host slot took inside a wait counts too: nothing goes out past the deadline.
        if (!receiver.awaitIdleLine(deadline, false) || deadline.hasExpired())
            return -2;
        // Before a poll: an answer to this job already held is taken (the poll would only ask
        // for it again); the rest is stale and dropped, so that nothing held is read as the
        // reply to the poll.
        answer = receiver.takeHeldFrame([&](const QByteArray &frame) {
            return PpiFrames::classify(frame, job.station, ownAddr, job.reference) == PpiFrames::Reply::Answer;
        });
        if (!answer.isEmpty())
            return 0;
        Determine_write(pollFrame);
        reply = nextJobReply(deadline, job.station, job.reference);
        if (reply.isEmpty())
            return -2;
        if (!PpiFrames::isShortAck(reply)) {
            answer = reply;
            return 0;
        }
        // Not ready yet: ask again, while the exchange's deadline allows.
        if (!receiver.pause(int(qMin<qint64>(RepollPauseMs, deadline.remainingTime()))) || deadline.hasExpired())
            return -2;
    }
}

template <typename Judge>
int CmdSiemens_PPI::exchangeJob(const Job &job, Judge judge)
{
    if (!readyToSend(job.station))
        return -3;
    if (debugFlag && !job.write)
        trace("读命令", job.name, job.length, job.request);
    QByteArray answer;
    const QPointer<CmdSiemens_PPI> self(this);
    const quint64 releasesBefore = releases;
    runJob(job, answer);
    // A host slot inside a wait deleted this object or released its link: the call ends as one
    // whose link is down, touching nothing of it.
    if (!self || releases != releasesBefore)
        return -3;
    if (debugFlag) {
        if (job.write)
            trace("写命令", job.name, job.length, job.request);
        trace("响应", job.name, job.length, answer);
    }
    if (answer.isEmpty()) {
        qWarning().noquote() << QString::fromUtf8(NoAnswerLine).arg(linkName(), job.name).arg(job.length);
        return -2;
    }
    const int r = judge(answer);
    if (r != 0) {
        // The PLC's reason, when the answer carries one (the station answers with S7 PDUs).
        const PpiFrames::Frame f = PpiFrames::parse(answer);
        qWarning().noquote() << QString::fromUtf8(WrongAnswerLine)
                                        .arg(linkName(), job.name)
                                        .arg(job.length)
                                        .arg(QString::fromLatin1(answer.toHex()))
                                    + S7Refusal::warningSuffix(S7Refusal::of(f.data));
    }
    return r;
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
    if (receiver.awaitIdleLine(deadline, true)) {
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
    receiver.pause(ms);
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
    return exchangeJob(Job{request, jobStation, reference, PpiFrames::readAnswerLength(answerBytes), place.text,
                           count, false},
                       [&](const QByteArray &answer) {
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
    if (!link->peerClosed())
        return true;
    link->close();
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
    return exchangeJob(Job{request, station, reference, PpiFrames::readAnswerLength(length), place.text, length, false},
                       [&](const QByteArray &answer) {
                           return PpiFrames::judgeReadAnswer(answer, station, ownAddr, length, out);
                       });
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
    // Bit and byte items alike.
    return exchangeJob(Job{request, station, reference, PpiFrames::WriteAnswerLength, place.text, count, true},
                       [&](const QByteArray &answer) { return PpiFrames::judgeWriteAnswer(answer, station, ownAddr); });
}

QString CmdSiemens_PPI::linkName() const
{
    if (link)
        return link->name();
    return QStringLiteral("%1:%2").arg(hostAddr.toString()).arg(port);
}
