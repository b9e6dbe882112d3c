#include "CmdSiemens_S7.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QTcpSocket>

#include <QRandomGenerator>

#include <poll.h>

#include "ByteOrder.h"
#include "IsoTcpFrames.h"
#include "S7Pdu.h"
#include "S7Refusal.h"
#include "SocketReceive.h"
#include "SocketSend.h"

namespace {

const char *const ReadCommandLine = "lib[Siemens_S7]读命令 %1:%2 Area=%3  len = %4 msg : %5";
const char *const WriteCommandLine = "lib[Siemens_S7]写命令 %1:%2 Area=%3  len = %4 msg : %5";
const char *const ResponseLine = "lib[Siemens_S7]响应 %1:%2 Area=%3  len = %4 msg : %5";
const char *const EmptyAnswerLine = "lib[Siemens_S7]返回的报文长度为0 %1:%2 Area=%3  len = %4 msg : %5";
const char *const WrongAnswerLine = "lib[Siemens_S7]报文返回长度错误 %1:%2 Area=%3  len = %4 msg : %5";

// A set-up answer that grants no PDU a job fits in refuses the link as much as an error does.
bool grantsUsablePdu(const QByteArray &frame)
{
    return IsoTcp::grantedPduLength(frame) > 0;
}

// The set-up is one exchange in two steps: the judge of an answer, the warning when it is refused.
struct SetupStep {
    bool (*accepts)(const QByteArray &);
    const char *failed;
};
const SetupStep SetupSteps[] = {
    {IsoTcp::isConnectionConfirm, "lib[Siemens_S7]第一次握手失败 %1:%2 "},
    {grantsUsablePdu, "lib[Siemens_S7]第二次握手失败 %1:%2 "},
};

// The PLC's reason behind a refused answer; none for bytes that are no whole frame (an answer cut
// short, bytes that lost their framing), whose header fields are not where a header's would be.
S7Refusal::Reason refusalOf(const QByteArray &answer)
{
    if (IsoTcp::frameLength(answer) != answer.size())
        return S7Refusal::Reason();
    return S7Refusal::of(IsoTcp::payload(answer));
}


// Bytes already taken off the front of the stream are given back to memory once they are this many.
constexpr int CompactAfter = 64 * 1024;

} // namespace

CmdSiemens_S7::CmdSiemens_S7() = default;

CmdSiemens_S7::~CmdSiemens_S7()
{
    if (tcpSocket)
        DestroyFree();
}

int CmdSiemens_S7::ConnectDrive(QString ip, int port)
{
    timerCounterFamily.forget();
    if (!tcpSocket) {
        // Made on the calling thread, whichever thread made the driver; its signals reach the
        // slots directly there, inside the waits (see SocketSignal).
        tcpSocket = new QTcpSocket;
        connect(tcpSocket, &QTcpSocket::connected, this, &CmdSiemens_S7::myconnected, SocketSignal);
        connect(tcpSocket, &QTcpSocket::disconnected, this, &CmdSiemens_S7::mydisconnected, SocketSignal);
        connect(tcpSocket, &QTcpSocket::readyRead, this, &CmdSiemens_S7::myreadyRead, SocketSignal);
    }
    // The link being dropped is named by its own "Disconnected=" line, before the new target
    // takes its place.
    QHostAddress target;
    const bool numeric = target.setAddress(ip);
    tcpSocket->abort();
    hostAddr = target;
    this->port = port;
    if (!numeric)
        return dropLink(-1);
    forgetStream();
    tpduSize = IsoTcp::DefaultTpduSize;
    tcpSocket->connectToHost(hostAddr, quint16(port), QIODevice::ReadWrite);
    if (!tcpSocket->waitForConnected(ConnectTimeoutMs))
        return dropLink(-3);
    if (First_handshake() != 0) {
        DisConnectDrive();
        return dropLink(-2);
    }
    if (Second_handshake() != 0) {
        DisConnectDrive();
        return dropLink(-2);
    }
    return 0;
}

int CmdSiemens_S7::dropLink(int result)
{
    // Nothing stays open behind a failed connect, and nothing of what it received: every request
    // reports the link down at once until a connect succeeds.
    if (tcpSocket)
        tcpSocket->abort();
    forgetStream();
    grantedPdu = 0;
    return result;
}

void CmdSiemens_S7::forgetStream()
{
    recvBuf.clear();
    recvStart = 0;
    resyncing = false;
    insideTsdu = false;
}

int CmdSiemens_S7::linkUp()
{
    if (Connection_status() != 0)
        return -3;
    // A peer that closed the link while the host was idle has left its end of file (or a reset)
    // on the descriptor, which Qt reads only when events run. Asked directly, no host slot runs,
    // and a job is never sent into a dead link, where it might or might not have been carried out.
    pollfd p{};
    p.fd = int(tcpSocket->socketDescriptor());
    p.events = POLLRDHUP;
    if (p.fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0)
        return dropLink(-3);
    return 0;
}

int CmdSiemens_S7::DisConnectDrive()
{
    if (!tcpSocket)
        return 1;
    tcpSocket->close();
    tcpSocket->disconnectFromHost();
    // A peer that takes no more bytes would hold the unsent ones, and the host, for ever.
    if (tcpSocket->state() != QAbstractSocket::UnconnectedState
        && !tcpSocket->waitForDisconnected(DisconnectTimeoutMs))
        tcpSocket->abort();
    return 0;
}

int CmdSiemens_S7::Connection_status()
{
    if (tcpSocket && tcpSocket->state() == QAbstractSocket::ConnectedState)
        return 0;
    return -3;
}

QByteArray CmdSiemens_S7::unread() const
{
    // A view, not a copy: a flood of foreign frames costs no copying of what follows them.
    return QByteArray::fromRawData(recvBuf.constData() + recvStart, recvBuf.size() - recvStart);
}

void CmdSiemens_S7::taken(int bytes)
{
    recvStart += bytes;
    if (recvStart >= recvBuf.size()) {
        recvBuf.clear();
        recvStart = 0;
    } else if (recvStart >= CompactAfter) {
        recvBuf.remove(0, recvStart);
        recvStart = 0;
    }
}

bool CmdSiemens_S7::frontReady(QByteArray *junk)
{
    for (;;) {
        const QByteArray stream = unread();
        if (stream.isEmpty())
            return false;
        if (resyncing || IsoTcp::frameLength(stream) == IsoTcp::Broken) {
            // Bytes that are no frame: the rest of a unit cut off, or a stream that lost its framing.
            // The next plausible TPKT start is where it goes on; nothing after it is given up.
            const int start = IsoTcp::nextFrameStart(stream, resyncing ? 0 : 1);
            if (!resyncing && junk && junk->isEmpty())
                *junk = QByteArray(stream.constData(), qMin(start, IsoTcp::MaxFrameLength));
            resyncing = true;
            taken(start);
            if (start == stream.size() || stream.size() - start < IsoTcp::DataHeaderLength - 1)
                return false;
            resyncing = false;
            continue;
        }
        if (!insideTsdu)
            return true;
        // The rest of a TSDU given up on: its data units up to the one that ends it.
        const int length = IsoTcp::frameLength(stream);
        if (length == IsoTcp::NeedMore || stream.size() < length)
            return false;
        if (IsoTcp::cotpType(stream) != IsoTcp::CotpData) {
            insideTsdu = false;
            return true;
        }
        insideTsdu = (ByteOrder::u8(stream, 6) & IsoTcp::EndOfTsdu) == 0;
        taken(length);
    }
}

void CmdSiemens_S7::cutFront()
{
    const QByteArray stream = unread();
    if (stream.isEmpty())
        return;
    const IsoTcp::Cut cut = IsoTcp::cutAt(stream);
    resyncing = cut.midUnit;
    // A front too short to show its unit's header leaves the TSDU as open as it was.
    insideTsdu = cut.tsduOpen || (insideTsdu && stream.size() < IsoTcp::DataHeaderLength);
    taken(stream.size());
}

// Sends one request (in TPDUs of the granted size) and waits, within one answer time-out for
// writing and answering together, until a whole S7 PDU (or connection unit) that answers it has
// arrived. TSDUs are taken whole off the front of the stream; those of another request (late
// answers) are skipped. What is no frame or no S7 PDU ends the wait once the stream holds no
// answer, and comes back as the reply; a TSDU cut off by the deadline is dropped to its end, so
// its rest never joins the next request's answer. The reply is one frame carrying the whole PDU.
int CmdSiemens_S7::SendData(QByteArray request, QByteArray &reply, int expected)
{
    if (!tcpSocket)
        return -1;
    const QDeadlineTimer deadline(AnswerTimeoutMs, Qt::PreciseTimer);
    const auto connected = [this] { return tcpSocket->state() == QAbstractSocket::ConnectedState; };
    SocketSend::send(tcpSocket, IsoTcp::splitForTpdu(request, tpduSize));
    // A peer whose receive window stays closed holds the request only as long as its answer.
    while (tcpSocket->bytesToWrite() > 0 && connected() && !deadline.hasExpired())
        tcpSocket->waitForBytesWritten(int(deadline.remainingTime()));
    if (expected <= 0) {
        if (!deadline.hasExpired())
            tcpSocket->waitForReadyRead(int(deadline.remainingTime()));
        return -1;
    }

    inRequest = true;
    int result = -1;
    QByteArray junk;
    for (;;) {
        IsoTcp::Tsdu next;
        if (frontReady(&junk))
            next = IsoTcp::nextTsdu(unread(), grantedPdu > 0 ? grantedPdu : IsoTcp::SetupPduLength);
        const QByteArray stream = unread();
        if (next.length == IsoTcp::Broken) {
            // The front unit starts a TSDU that cannot be one: drop it, and the rest of its TSDU.
            const int length = qMax(IsoTcp::frameLength(stream), 1);
            if (junk.isEmpty())
                junk = QByteArray(stream.constData(), qMin(length, stream.size()));
            insideTsdu = IsoTcp::cotpType(stream) == IsoTcp::CotpData
                         && (ByteOrder::u8(stream, 6) & IsoTcp::EndOfTsdu) == 0;
            taken(length);
            continue;
        }
        if (next.length != IsoTcp::NeedMore) {
            taken(next.length);
            if (next.frame.isEmpty())
                continue;
            if (IsoTcp::answersRequest(request, next.frame)) {
                reply.append(next.frame);
                result = 0;
                break;
            }
            if (!IsoTcp::carriesS7Pdu(next.frame) && junk.isEmpty())
                junk = next.frame.left(IsoTcp::MaxFrameLength);
            continue;
        }
        if (!junk.isEmpty()) {
            // No answer behind what came instead of one: that is the answer this request got.
            reply.append(junk);
            break;
        }
        if (deadline.hasExpired() || !connected()) {
            // An incomplete frame that already shows this request's reference is its answer cut
            // short. Whatever the front holds is given up, up to the end of its TSDU.
            if (!stream.isEmpty() && IsoTcp::showsReferenceOf(request, stream))
                reply.append(stream.constData(), qMin(stream.size(), IsoTcp::MaxTsduSpan));
            cutFront();
            // A request left unanswered leaves the time-out as the socket's error, which the
            // "Disconnected=" warning names when the link is closed later.
            if (connected())
                tcpSocket->waitForReadyRead(0);
            break;
        }
        SocketReceive::receive(tcpSocket, recvBuf, int(deadline.remainingTime()));
    }
    inRequest = false;
    return result;
}

int CmdSiemens_S7::handshake(int step, const QByteArray &request, QByteArray *accepted)
{
    const SetupStep &s = SetupSteps[step];
    if (linkUp() == -3)
        return -3;
    QByteArray answer;
    if (SendData(request, answer, 50) == 0 && s.accepts(answer)) {
        if (accepted)
            *accepted = answer;
        return 0;
    }
    qWarning().noquote() << QString::fromUtf8(s.failed).arg(hostAddr.toString()).arg(port);
    return 1;
}

int CmdSiemens_S7::First_handshake()
{
    QByteArray answer;
    const int r = handshake(0, IsoTcp::connectionRequest(localTsap, remoteTsap), &answer);
    tpduSize = IsoTcp::grantedTpduSize(answer);
    return r;
}

int CmdSiemens_S7::Second_handshake()
{
    QByteArray answer;
    const int r = handshake(1, IsoTcp::setupRequest(), &answer);
    grantedPdu = r == 0 ? IsoTcp::grantedPduLength(answer) : 0;
    return r;
}

int CmdSiemens_S7::deletetcpSocket()
{
    if (tcpSocket) {
        disconnect(tcpSocket, nullptr, this, nullptr);
        delete tcpSocket;
        tcpSocket = nullptr;
    }
    return 0;
}

int CmdSiemens_S7::DestroyFree()
{
    if (!tcpSocket)
        return 1;
    if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
        DisConnectDrive();
    deletetcpSocket();
    return 0;
}

void CmdSiemens_S7::myconnected()
{
}

void CmdSiemens_S7::mydisconnected()
{
    qWarning().noquote()
        << QStringLiteral("lib[Siemens_S7]%1:%2 Disconnected=").arg(hostAddr.toString()).arg(port)
        << tcpSocket->error();
}

void CmdSiemens_S7::myreadyRead()
{
    while (tcpSocket->bytesAvailable() > 0)
        recvBuf.append(tcpSocket->readAll());
    if (!inRequest && recvBuf.size() - recvStart > ReceiveBufferLimit)
        dropStaleFrames();
}

void CmdSiemens_S7::dropStaleFrames()
{
    // Between requests every whole frame is a stale one: drop whole frames only, so that the
    // stream keeps its framing, and the rest of a TSDU whose start was dropped with them.
    while (recvBuf.size() - recvStart > ReceiveBufferLimit / 2) {
        if (!frontReady(nullptr))
            return;
        const QByteArray stream = unread();
        const int length = IsoTcp::frameLength(stream);
        if (length == IsoTcp::NeedMore || stream.size() < length)
            return;
        insideTsdu = IsoTcp::cotpType(stream) == IsoTcp::CotpData
                     && (ByteOrder::u8(stream, 6) & IsoTcp::EndOfTsdu) == 0;
        taken(length);
    }
}

quint16 CmdSiemens_S7::nextReference()
{
    // Running from a random start of its own and never repeating the previous one: an answer to
    // an earlier request, or bytes made to look like one, cannot pass for this one's.
    if (lastReference == 0)
        lastReference = quint16(QRandomGenerator::system()->bounded(1, 0x10000));
    if (++lastReference == 0)
        lastReference = 1;
    return lastReference;
}

QString CmdSiemens_S7::logLine(const QString &pattern, const QString &name, int length,
                               const QByteArray &bytes) const
{
    return pattern.arg(hostAddr.toString())
        .arg(port)
        .arg(name)
        .arg(length)
        .arg(QString::fromLatin1(bytes.toHex()));
}

int CmdSiemens_S7::readCapacity() const
{
    return S7Pdu::readCapacity(pduLength());
}

int CmdSiemens_S7::writeCapacity() const
{
    return S7Pdu::writeCapacity(pduLength());
}

int CmdSiemens_S7::Read_area(int byteAddress, int length, QByteArray *out, int dbNumber, int area,
                             QString name)
{
    return readJob(PlcPlace{area, dbNumber, byteAddress, 0, name}, length, out);
}

int CmdSiemens_S7::readJob(const PlcPlace &place, int length, QByteArray *out)
{
    const QByteArray request =
        IsoTcp::readRequest(nextReference(), place.area, place.dbNumber, place.byteAddress, length);
    if (request.isEmpty())
        return -1;      // no job can name that place: nothing is sent
    if (linkUp() == -3)
        return -3;
    return Message_parsing(request, out, length, place.text);
}

int CmdSiemens_S7::Message_parsing(QByteArray request, QByteArray *out, int length, QString name)
{
    QByteArray answer;
    const int r = exchange(ReadCommandLine, request, name, length, &answer);
    if (r == -2)
        return -2;
    QByteArray data;
    if (r != 0 || !IsoTcp::judgeReadAnswer(answer, length, &data)) {
        warnWrongAnswer(name, length, answer, refusalOf(answer));
        return -1;
    }
    out->append(data);
    return 0;
}

// One job out and its answer in, with the trace lines and, for an answer that never came, the
// warning: reads and writes, bit and byte items, timers and counters alike, since a job left
// unanswered is what the commissioning engineer must see. -2 when nothing came back, else what
// SendData gave.
int CmdSiemens_S7::exchange(const char *commandLine, const QByteArray &request, const QString &name, int count,
                            QByteArray *answer)
{
    if (debugFlag)
        qDebug().noquote() << logLine(QString::fromUtf8(commandLine), name, count, request);
    const int r = SendData(request, *answer, 50);
    if (debugFlag)
        qDebug().noquote() << logLine(QString::fromUtf8(ResponseLine), name, count, *answer);
    if (answer->isEmpty()) {
        qWarning().noquote() << logLine(QString::fromUtf8(EmptyAnswerLine), name, count, *answer);
        return -2;
    }
    return r;
}

// A job out, if it may go: -1 with nothing sent for a job that names no place (an empty request),
// -3 for a link that is down or closed by the PLC; else what exchange() gives. Whenever the answer
// stays empty, the result is final.
int CmdSiemens_S7::sendJob(const char *commandLine, const QByteArray &request, const QString &name, int count,
                           QByteArray *answer)
{
    if (request.isEmpty())
        return -1;
    if (linkUp() == -3)
        return -3;
    return exchange(commandLine, request, name, count, answer);
}

void CmdSiemens_S7::warnWrongAnswer(const QString &name, int count, const QByteArray &answer,
                                    const S7Refusal::Reason &reason) const
{
    qWarning().noquote() << logLine(QString::fromUtf8(WrongAnswerLine), name, count, answer)
                                + S7Refusal::warningSuffix(reason);
}

int CmdSiemens_S7::WriteHoldingRegistersVarea(int dbNumber, int bitAddress, int count,
                                              QByteArray data, int area, QString name)
{
    return writeCounted(data, count, [&](const QByteArray &bytes) {
        return writeJob(PlcPlace::atBit(area, dbNumber, bitAddress, name), bytes, false);
    });
}

int CmdSiemens_S7::WriteCoilsQarea(int dbNumber, int bitAddress, int count, QByteArray data,
                                   int area, QString name)
{
    return writeCounted(data, count, [&](const QByteArray &bytes) {
        return writeJob(PlcPlace::atBit(area, dbNumber, bitAddress, name), bytes, true);
    });
}

int CmdSiemens_S7::writeJob(const PlcPlace &place, const QByteArray &data, bool bitItem)
{
    const int count = data.size();
    const QByteArray request = IsoTcp::writeRequest(
        nextReference(), place.area, place.dbNumber, place.bitAddress(),
        bitItem ? S7Pdu::ItemSize::Bit : S7Pdu::ItemSize::Byte, data);
    QByteArray answer;
    const int r = sendJob(WriteCommandLine, request, place.text, count, &answer);
    if (answer.isEmpty())
        return r;
    // Bit and byte writes warn alike: a refused write is what the commissioning engineer must see.
    if (r != 0 || !IsoTcp::judgeWriteAnswer(answer)) {
        warnWrongAnswer(place.text, count, answer, refusalOf(answer));
        return -1;
    }
    return 0;
}

int CmdSiemens_S7::readElements(const PlcPlace &place, int count, QByteArray *words)
{
    for (;;) {
        const int area = timerCounterFamily.codeFor(place.area);
        const QByteArray request = IsoTcp::elementReadRequest(nextReference(), area, place.byteAddress, count);
        QByteArray answer;
        const int r = sendJob(ReadCommandLine, request, place.text, count, &answer);
        if (answer.isEmpty())
            return r;
        QByteArray got;
        const bool ok = r == 0 && IsoTcp::judgeElementReadAnswer(answer, area, count, &got) == S7Pdu::Verdict::Ok;
        const S7Refusal::Reason reason = refusalOf(answer);
        if (timerCounterFamily.learn(ok, reason.itemCode))
            continue;
        if (!ok) {
            warnWrongAnswer(place.text, count, answer, reason);
            return -1;
        }
        words->append(got);
        return 0;
    }
}

int CmdSiemens_S7::writeElements(const PlcPlace &place, const QByteArray &words)
{
    if (timerCounterFamily.known() == ElementFamily::S7_200)
        return -1;
    const int count = words.size() / 2;
    const QByteArray request =
        IsoTcp::elementWriteRequest(nextReference(), place.area, place.byteAddress, words);
    QByteArray answer;
    const int r = sendJob(WriteCommandLine, request, place.text, count, &answer);
    if (answer.isEmpty())
        return r;
    const bool ok = r == 0 && IsoTcp::judgeWriteAnswer(answer);
    const S7Refusal::Reason reason = refusalOf(answer);
    // A PLC of the S7-200 family refused it: nothing was written, and no write goes to it again.
    if (timerCounterFamily.learn(ok, reason.itemCode) || ok)
        return ok ? 0 : -1;
    warnWrongAnswer(place.text, count, answer, reason);
    return -1;
}
