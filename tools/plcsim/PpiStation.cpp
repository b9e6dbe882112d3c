#include "PpiStation.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMutexLocker>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "ChaosPlan.h"
#include "PlcMemory.h"
#include "PtyLineSettings.h"

// The station keeps its own small framer on purpose: a test station that shared the driver's
// framing code would share its mistakes.
namespace {

constexpr quint8 FixedStart = 0x10;
constexpr quint8 VariableStart = 0x68;
constexpr quint8 FixedDataStart = 0xA2;
constexpr quint8 TokenStart = 0xDC;
constexpr quint8 ShortAck = 0xE5;
constexpr quint8 EndDelimiter = 0x16;
constexpr int MaxRxBuffer = 1024;

int u8(const QByteArray &b, int at) { return quint8(b.at(at)); }
int be16(const QByteArray &b, int at) { return (u8(b, at) << 8) | u8(b, at + 1); }
int be24(const QByteArray &b, int at) { return (u8(b, at) << 16) | (u8(b, at + 1) << 8) | u8(b, at + 2); }

void put16(QByteArray &b, int v)
{
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
}

quint8 sum(const QByteArray &b, int from, int to)
{
    unsigned s = 0;
    for (int i = from; i < to && i < b.size(); ++i)
        s += quint8(b.at(i));
    return quint8(s);
}

QByteArray fixed(int da, int sa, int fc)
{
    QByteArray f;
    f.append(char(FixedStart));
    f.append(char(da));
    f.append(char(sa));
    f.append(char(fc));
    f.append(char(sum(f, 1, 4)));
    f.append(char(EndDelimiter));
    return f;
}

QByteArray variable(int da, int sa, int fc, const QByteArray &pdu)
{
    const int le = 3 + pdu.size();
    QByteArray f;
    f.append(char(VariableStart));
    f.append(char(le));
    f.append(char(le));
    f.append(char(VariableStart));
    f.append(char(da));
    f.append(char(sa));
    f.append(char(fc));
    f.append(pdu);
    f.append(char(sum(f, 4, 4 + le)));
    f.append(char(EndDelimiter));
    return f;
}

// A frame of `length` bytes whose check sum starts at `from`: its length once whole, 0 while it
// grows, -1 as soon as its check sum has come and is wrong (a receiver gives up right then).
int checkedLength(const QByteArray &rx, int length, int from)
{
    if (rx.size() >= length - 1 && sum(rx, from, length - 2) != u8(rx, length - 2))
        return -1;
    return rx.size() >= length ? length : 0;
}

// Length of the frame at the front of `rx`: > 0 complete, 0 incomplete, -1 not a frame start.
int frameLength(const QByteArray &rx)
{
    if (rx.isEmpty())
        return 0;
    switch (u8(rx, 0)) {
    case ShortAck:
        return 1;
    case FixedStart:
        return checkedLength(rx, 6, 1);
    case FixedDataStart:
        return checkedLength(rx, 14, 1);
    case TokenStart:
        // A token carries two station addresses and nothing to check them by.
        if ((rx.size() >= 2 && u8(rx, 1) > 127) || (rx.size() >= 3 && u8(rx, 2) > 127))
            return -1;
        return rx.size() >= 3 ? 3 : 0;
    case VariableStart:
        if (rx.size() < 4)
            return 0;
        if (u8(rx, 1) != u8(rx, 2) || u8(rx, 3) != VariableStart || u8(rx, 1) < 3)
            return -1;
        return checkedLength(rx, u8(rx, 1) + 6, 4);
    default:
        return -1;
    }
}

bool checksumOk(const QByteArray &frame)
{
    const int n = frame.size();
    if (n == 1 || u8(frame, 0) == TokenStart)
        return true;
    const int from = u8(frame, 0) == VariableStart ? 4 : 1;
    return sum(frame, from, n - 2) == u8(frame, n - 2) && u8(frame, n - 1) == EndDelimiter;
}

// S7 acknowledgement header: 32 03 0000 ref paramLen dataLen errClass errCode.
QByteArray ackHeader(int reference, int parameterLength, int dataLength, int errorClass = 0, int errorCode = 0)
{
    QByteArray h;
    h.append(char(0x32));
    h.append(char(0x03));
    put16(h, 0);
    put16(h, reference);
    put16(h, parameterLength);
    put16(h, dataLength);
    h.append(char(errorClass));
    h.append(char(errorCode));
    return h;
}

// The largest S7 PDU the station takes or sends; a read answer has 18 bytes besides its data.
constexpr int PduSize = 240;
constexpr int ReadAnswerOverhead = 18;

} // namespace

class PpiStation::Link : public QObject
{
public:
    explicit Link(QObject *parent, std::function<void(const QByteArray &)> writer)
        : QObject(parent), write(std::move(writer)) {}

    std::function<void(const QByteArray &)> write;
    std::function<void()> hangUp;           // the station vanishes from this link
    std::function<void()> stopReading;      // the station takes no more bytes from this link
    QByteArray rx;
    QByteArray pending;         // the answer the next poll delivers
    QByteArray strayBefore;     // frames the next poll delivers in front of the answer
    bool pendingInPieces = false;
    bool pendingLate = false;
    bool silentOnPoll = false;
    bool echoJob = false;       // the job's frames come back first (DB 9029)
    int jobTraffic = 0;         // line traffic around this job's replies (DB 9025..9028)
    bool busy = false;          // a traffic frame is still arriving: what the master sends collides
    QByteArray lastFrame;
    int notReadyPolls = 0;
    QByteArray lastAnswer;      // the answer the previous poll delivered
};

PpiStation::PpiStation(PlcMemory *memory, int stationAddress, QObject *parent)
    : QObject(parent), memory(memory), station(stationAddress & 0xFF)
{
}

void PpiStation::setChaos(const ChaosPlan &plan)
{
    chaos = std::make_unique<ChaosPlan>(plan);
}

bool PpiStation::isFaultBlock(int dbNumber)
{
    return (dbNumber >= NoAckBlock && dbNumber <= FailingRangeBlock)
           || (dbNumber >= GarbageFirstBlock && dbNumber <= EchoBlock);
}

QByteArray PpiStation::serveBytes(const QByteArray &bytes)
{
    if (!memoryLink)
        memoryLink = new Link(this, [this](const QByteArray &out) { memoryLinkOutput.append(out); });
    memoryLinkOutput.clear();
    onBytes(memoryLink, bytes);
    return memoryLinkOutput;
}

PpiStation::~PpiStation()
{
    if (ptyMaster >= 0)
        ::close(ptyMaster);
    if (ptySlave >= 0)
        ::close(ptySlave);
    if (!ptyLink.isEmpty())
        QFile::remove(ptyLink);
}

bool PpiStation::listenTcp(quint16 port)
{
    if (!server) {
        server = new QTcpServer(this);
        connect(server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server->nextPendingConnection()) {
                // Each piece of a split answer must leave as a segment of its own.
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QPointer<QTcpSocket> guard(socket);
                auto *link = new Link(socket, [guard](const QByteArray &bytes) {
                    if (guard) {
                        guard->write(bytes);
                        guard->flush();
                    }
                });
                link->hangUp = [guard] {
                    if (guard)
                        guard->abort();
                };
                const auto reading = connect(socket, &QTcpSocket::readyRead, this, [this, socket, link] { onBytes(link, socket->readAll()); });
                link->stopReading = [guard, reading] {
                    QObject::disconnect(reading);
                    if (guard) {
                        // Qt stops reading once its buffer holds this much; the kernel's small
                        // buffer then fills and the window the driver sees closes.
                        guard->setReadBufferSize(1);
                        guard->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
                    }
                };
                ++clients;
                connect(socket, &QObject::destroyed, this, [this] { --clients; });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    return server->listen(QHostAddress::LocalHost, port);
}

quint16 PpiStation::tcpPort() const
{
    return server ? server->serverPort() : 0;
}

bool PpiStation::openPty(const QString &linkPath)
{
    if (ptyMaster >= 0)
        return false;
    char name[128] = {};
    if (::openpty(&ptyMaster, &ptySlave, name, nullptr, nullptr) != 0)
        return false;
    // The slave stays open here so that the master never sees a hang-up while no driver has
    // the line open; raw mode, so the line discipline neither echoes nor edits frames.
    termios tio{};
    if (::tcgetattr(ptySlave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(ptySlave, TCSANOW, &tio);
    }
    ::fcntl(ptyMaster, F_SETFL, ::fcntl(ptyMaster, F_GETFL) | O_NONBLOCK);
    ptyName = QString::fromLocal8Bit(name);
    if (!linkPath.isEmpty()) {
        // Replace a stale link of an earlier run, never a file of someone else's.
        if (QFileInfo(linkPath).isSymLink())
            QFile::remove(linkPath);
        if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0)
            return false;
        ptyLink = linkPath;
    }
    const int fd = ptyMaster;
    ptyLinkState = new Link(this, [fd](const QByteArray &bytes) {
        qint64 done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                break;      // the pty buffer holds far more than one frame; never block the station
            done += n;
        }
    });
    ptyNotifier = new QSocketNotifier(ptyMaster, QSocketNotifier::Read, this);
    connect(ptyNotifier, &QSocketNotifier::activated, this, &PpiStation::readPty);
    ptyLinkState->hangUp = [this] {
        // Unplugged, then plugged in again: the same path leads to a new device.
        const QString link = ptyLink;
        closePty();
        openPty(link);
    };
    ptyLinkState->stopReading = [this] {
        if (ptyNotifier)
            ptyNotifier->setEnabled(false);
    };
    return true;
}

void PpiStation::closePty()
{
    delete ptyNotifier;
    ptyNotifier = nullptr;
    delete ptyLinkState;
    ptyLinkState = nullptr;
    if (ptyMaster >= 0)
        ::close(ptyMaster);
    if (ptySlave >= 0)
        ::close(ptySlave);
    ptyMaster = ptySlave = -1;
    if (!ptyLink.isEmpty())
        QFile::remove(ptyLink);
    ptyLink.clear();
}

bool PpiStation::lineSettings(LineSettings *settings) const
{
    return readLineSettings(ptySlave, settings);
}

bool PpiStation::waitForLateReply(int ms)
{
    return lateReplies.tryAcquire(1, ms);
}

QString PpiStation::ptyDevice() const
{
    return ptyName;
}

void PpiStation::readPty()
{
    char buf[512];
    while (ptyMaster >= 0 && ptyLinkState) {
        const ssize_t n = ::read(ptyMaster, buf, sizeof buf);
        if (n > 0) {
            onBytes(ptyLinkState, QByteArray(buf, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;      // EAGAIN: all read; EIO cannot happen while the slave is held open
    }
}

QList<QByteArray> PpiStation::receivedFrames() const
{
    QMutexLocker lock(&receivedMutex);
    return received;
}

void PpiStation::clearReceivedFrames()
{
    QMutexLocker lock(&receivedMutex);
    received.clear();
}

void PpiStation::onBytes(Link *link, const QByteArray &bytes)
{
    if (link->busy) {
        link->rx.clear();       // collided with the frame on the line: nobody hears it
        return;
    }
    if (echo.load())
        link->write(bytes);
    link->rx.append(bytes);
    if (link->rx.size() > MaxRxBuffer)
        link->rx = link->rx.right(MaxRxBuffer);
    for (;;) {
        const int n = frameLength(link->rx);
        if (n == 0)
            return;
        if (n < 0) {            // resynchronise on the next byte
            link->rx.remove(0, 1);
            continue;
        }
        const QByteArray frame = link->rx.left(n);
        if (!checksumOk(frame)) {   // a failed candidate: the real frame may start at the next byte
            link->rx.remove(0, 1);
            continue;
        }
        link->rx.remove(0, n);
        onFrame(link, frame);
    }
}

void PpiStation::onFrame(Link *link, const QByteArray &frame)
{
    {
        QMutexLocker lock(&receivedMutex);
        // A copy of its own: the frame may share the large buffer of the read it came in.
        received.append(QByteArray(frame.constData(), frame.size()));
        if (received.size() > KeptFrames)
            received.removeFirst();
        ++framesReceived;
    }
    // Acknowledgements, tokens and SD3 frames ask nothing of this station.
    if (u8(frame, 0) != FixedStart && u8(frame, 0) != VariableStart)
        return;
    link->lastFrame = frame;
    const bool isFixed = u8(frame, 0) == FixedStart;
    const int base = isFixed ? 1 : 4;
    const int da = u8(frame, base);
    const int sa = u8(frame, base + 1);
    const int fc = u8(frame, base + 2);
    if (da != station)
        return;
    if (isFixed) {
        if (fc == 0x49) {
            const int own = greetingAddress.load();
            QByteArray reply = fixed(sa, own >= 0 ? own & 0xFF : station, 0x00);
            if (greetingCorrupted.load())
                reply[4] = char(u8(reply, 4) ^ 0xFF);
            speak(link, reply);
        } else if (fc == 0x5C || fc == 0x7C) {
            if (link->echoJob)
                link->write(frame);
            onPoll(link);
        }
        return;
    }
    if ((fc & 0x0F) == 0x0C)    // send and request data, whatever the frame-count bits
        onJob(link, sa, frame.mid(7, frame.size() - 9));
}

void PpiStation::onJob(Link *link, int master, const QByteArray &pdu)
{
    link->pending.clear();
    link->strayBefore.clear();
    link->pendingInPieces = false;
    link->pendingLate = false;
    link->silentOnPoll = false;
    link->notReadyPolls = 0;
    link->echoJob = false;
    link->jobTraffic = 0;

    // The fault is chosen by the data block of the job's item (area 0x84 only).
    int block = 0;
    if (pdu.size() >= 24 && u8(pdu, 20) == 0x84)
        block = be16(pdu, 18);
    if (chaos && !isFaultBlock(block)) {
        static const std::vector<int> faults = {
            NoAckBlock, NakBlock, GarbageBlock, SilentPollBlock, NotReadyBlock, PiecesBlock,
            SilentBlock, BadFcsBlock, NeverReadyBlock, ErrorItemBlock, LateAnswerBlock,
            LateAckBlock, GlitchBlock, VanishBlock, StrayReferenceBlock, OtherMasterBlock,
            GarbageFirstBlock, EarlierFirstBlock, TokenBlock, StatusBlock, OtherExchangeBlock,
            FixedDataBlock, EchoBlock};
        block = chaos->draw(faults);
    }
    if (applyJobFault(link, block, master, answerJob(pdu)))
        speak(link, QByteArray(1, char(ShortAck)));
}

namespace {

// The answer PDU with its data (whatever follows the item header) inverted: a value that must
// never reach a caller.
QByteArray withOtherData(QByteArray pdu)
{
    for (int i = 18; i < pdu.size(); ++i)
        pdu[i] = char(~u8(pdu, i));
    return pdu;
}

} // namespace

// Prepares the answer of a job as the fault block says; true when the job is to be acknowledged.
bool PpiStation::applyJobFault(Link *link, int block, int master, const QByteArray &answerPdu)
{
    const QByteArray answer = variable(master, station, 0x08, answerPdu);
    link->pending = answer;
    switch (block) {
    case NoAckBlock:
        link->pending.clear();
        link->write(answer);
        return false;
    case NakBlock:
        link->pending.clear();
        link->write(fixed(master, station, 0x01));
        return false;
    case GarbageBlock:
        link->pending.clear();
        link->write(QByteArray::fromHex("ff00aa55"));
        return false;
    case SilentPollBlock:
        link->pending.clear();
        link->silentOnPoll = true;
        return true;
    case NotReadyBlock:
        link->notReadyPolls = NotReadyPolls;
        return true;
    case PiecesBlock:
        link->pendingInPieces = true;
        return true;
    case SilentBlock:
        link->pending.clear();
        return false;
    case BadFcsBlock:
        link->pending[link->pending.size() - 2] = char(u8(answer, answer.size() - 2) ^ 0x5A);
        return true;
    case NeverReadyBlock:
        link->notReadyPolls = 1 << 30;
        return true;
    case LateAnswerBlock:
        link->pendingLate = true;
        link->pendingInPieces = true;
        return true;
    case LateAckBlock:
        deliverLate(link, QByteArray(1, char(ShortAck)), false);
        return false;
    case GlitchBlock:
        link->write(QByteArray(1, '\0'));
        return true;
    case VanishBlock: {
        link->pending.clear();
        // Not from inside the link's own notification.
        QPointer<Link> guard(link);
        QTimer::singleShot(0, this, [guard] {
            // A copy: hanging up may delete the link that holds the function.
            const std::function<void()> hangUp = guard ? guard->hangUp : nullptr;
            if (hangUp)
                hangUp();
        });
        return false;
    }
    case StrayReferenceBlock: {
        QByteArray stray = withOtherData(answerPdu);
        if (stray.size() >= 6) {
            stray[4] = char(u8(stray, 4) ^ 0x5A);
            stray[5] = char(u8(stray, 5) ^ 0x5A);
        }
        link->strayBefore = variable(master, station, 0x08, stray);
        return true;
    }
    case OtherMasterBlock:
        link->strayBefore = variable((master + 1) & 0xFF, station, 0x08, withOtherData(answerPdu));
        return true;
    case WindowClosedBlock:
        link->pending.clear();
        if (link->stopReading)
            link->stopReading();
        return true;
    case GarbageFirstBlock:
        link->strayBefore = QByteArray::fromHex("ff00aa55");
        return true;
    case EarlierFirstBlock:
        link->strayBefore = link->lastAnswer;
        return true;
    case TokenBlock:
        link->jobTraffic = TokenTraffic;
        return true;
    case StatusBlock:
        link->jobTraffic = StatusTraffic;
        return true;
    case OtherExchangeBlock:
        link->jobTraffic = ExchangeTraffic;
        return true;
    case FixedDataBlock:
        link->jobTraffic = FixedDataTraffic;
        return true;
    case EchoBlock:
        link->echoJob = true;
        link->write(link->lastFrame);
        return true;
    default:
        return true;
    }
}

void PpiStation::onPoll(Link *link)
{
    if (link->silentOnPoll)
        return;
    if (link->notReadyPolls > 0 || link->pending.isEmpty()) {
        if (link->notReadyPolls > 0)
            --link->notReadyPolls;
        link->write(QByteArray(1, char(ShortAck)));
        return;
    }
    const QByteArray answer = link->strayBefore + link->pending;
    link->lastAnswer = link->pending;
    link->pending.clear();
    link->strayBefore.clear();
    if (link->pendingLate)
        deliverLate(link, answer, link->pendingInPieces);
    else if (link->pendingInPieces)
        deliver(link, answer, true);
    else
        speak(link, answer);
}

bool PpiStation::parseTraffic(const QString &text, int *kinds)
{
    int found = 0;
    for (const QString &word : text.split(QLatin1Char(','))) {
        const QString w = word.trimmed().toLower();
        if (w == QLatin1String("all"))
            found |= AllTraffic;
        else if (w == QLatin1String("token"))
            found |= TokenTraffic;
        else if (w == QLatin1String("status"))
            found |= StatusTraffic;
        else if (w == QLatin1String("exchange"))
            found |= ExchangeTraffic;
        else if (w == QLatin1String("sd3"))
            found |= FixedDataTraffic;
        else
            return false;
    }
    *kinds = found;
    return true;
}

QList<QByteArray> PpiStation::trafficFrames(int stationAddress, int kinds)
{
    // Master 1 and station 3 share the line with this station and its master.
    const int st = stationAddress & 0xFF;
    QList<QByteArray> frames;
    if (kinds & ExchangeTraffic) {
        // A read job of master 1 to this station (S7 items carry 0x10), and its answer, whose
        // data look like frame starts.
        const QByteArray job = QByteArray::fromHex("32010000" "1234" "000e0000" "0401120a10020003000184000320");
        const QByteArray answer = ackHeader(0x1234, 2, 7) + QByteArray::fromHex("0401" "ff040018" "10e568");
        frames << variable(st, 1, 0x6C, job) << QByteArray(1, char(ShortAck)) << fixed(st, 1, 0x5C)
               << variable(1, st, 0x08, answer);
    }
    if (kinds & FixedDataTraffic) {
        // Station 3's data response to master 1 (a request would own the E5 behind it).
        QByteArray sd3;
        sd3.append(char(FixedDataStart)).append(char(1)).append(char(3)).append(char(0x08));
        sd3.append(QByteArray::fromHex("1068e51068e51068"));
        sd3.append(char(sum(sd3, 1, 12))).append(char(EndDelimiter));
        frames << sd3;
    }
    if (kinds & StatusTraffic)
        frames << fixed(3, 1, 0x49) << fixed(1, 3, 0x00);
    if (kinds & TokenTraffic)
        frames << QByteArray::fromHex("dc1002") << QByteArray::fromHex("dc6802");
    return frames;
}

// A reply with the line's other traffic around it: frames in front, and behind it one that is
// still arriving when the master may speak next.
void PpiStation::speak(Link *link, const QByteArray &reply)
{
    const int kinds = traffic.load() | link->jobTraffic;
    if (kinds == 0) {
        link->write(reply);
        return;
    }
    const QList<QByteArray> frames = trafficFrames(station, kinds);
    QByteArray front;
    for (const QByteArray &f : frames)
        front.append(f);
    const QByteArray behind = frames.first();
    const int cut = behind.size() / 2 + 1;
    link->write(front + reply + behind.left(cut));
    link->busy = true;
    QPointer<Link> guard(link);
    const QByteArray rest = behind.mid(cut);
    QTimer::singleShot(PiecePauseMs, this, [guard, rest] {
        if (guard) {
            guard->write(rest);
            guard->busy = false;
        }
    });
}

void PpiStation::deliver(Link *link, const QByteArray &frame, bool inPieces)
{
    if (!inPieces) {
        link->write(frame);
        return;
    }
    const int cuts[] = {0, 2, 7, frame.size() - 3, frame.size()};
    QPointer<Link> guard(link);
    for (int i = 0; i < 4; ++i) {
        const QByteArray piece = frame.mid(cuts[i], cuts[i + 1] - cuts[i]);
        QTimer::singleShot(i * PiecePauseMs, this, [guard, piece] {
            if (guard)
                guard->write(piece);
        });
    }
}

void PpiStation::deliverLate(Link *link, const QByteArray &bytes, bool inPieces)
{
    // Two pieces when asked for: the driver may meet the first before its next request.
    const int cut = inPieces ? bytes.size() / 2 : bytes.size();
    QPointer<Link> guard(link);
    const QByteArray first = bytes.left(cut);
    const QByteArray rest = bytes.mid(cut);
    QTimer::singleShot(LateReplyMs, this, [guard, first] {
        if (guard)
            guard->write(first);
    });
    QTimer::singleShot(LateReplyMs + (rest.isEmpty() ? 0 : PiecePauseMs), this, [this, guard, rest] {
        if (guard && !rest.isEmpty())
            guard->write(rest);
        lateReplies.release();
    });
}

QByteArray PpiStation::answerJob(const QByteArray &pdu)
{
    // Job header: 32 01 0000 ref paramLen dataLen; parameter: function, item count, items.
    if (pdu.size() < 12 || u8(pdu, 0) != 0x32 || u8(pdu, 1) != 0x01)
        return ackHeader(0, 0, 0, 0x81, 0x04);
    const int reference = be16(pdu, 4);
    const int function = u8(pdu, 10);
    if ((function != 0x04 && function != 0x05) || u8(pdu, 11) != 1 || pdu.size() < 24
        || u8(pdu, 12) != 0x12 || u8(pdu, 13) != 0x0A || u8(pdu, 14) != 0x10)
        return ackHeader(reference, 0, 0, 0x81, 0x04);
    if (pdu.size() > PduSize)
        return ackHeader(reference, 0, 0, 0x85, 0x00);     // "PDU size": nothing is written

    const int transport = u8(pdu, 15);
    const int count = be16(pdu, 16);
    const int db = be16(pdu, 18);
    const int area = u8(pdu, 20);
    const int bitAddress = be24(pdu, 21);
    const int firstByte = bitAddress / 8;
    const int itemBytes = transport == 0x02 ? count : 1;
    const bool failingRange = area == 0x84 && db == FailingRangeBlock && firstByte <= FailingByte
                              && FailingByte < firstByte + itemBytes;
    const bool errorBlock = (area == 0x84 && db == ErrorItemBlock) || failingRange;
    if (function == 0x04 && transport == 0x02 && ReadAnswerOverhead + count > PduSize)
        return ackHeader(reference, 0, 0, 0x85, 0x00);

    if (function == 0x04) {
        QByteArray data;
        int code = 0xFF;
        if (errorBlock || area < 0x81 || area > 0x84 || (area == 0x84 && db == 0))
            code = 0x0A;
        else if (transport == 0x02 && bitAddress % 8 != 0)
            code = 0x05;    // a byte item starts at bit 0 of its byte
        else if (transport == 0x02 && !memory->read(area, db, bitAddress / 8, count, &data))
            code = 0x05;
        else if (transport == 0x01) {
            bool bit = false;
            if (memory->readBit(area, db, bitAddress, &bit))
                data.append(char(bit ? 1 : 0));
            else
                code = 0x05;
        } else if (transport != 0x01 && transport != 0x02)
            code = 0x06;
        QByteArray item;
        item.append(char(code));
        if (code == 0xFF) {
            item.append(char(transport == 0x01 ? 0x03 : 0x04));
            put16(item, transport == 0x01 ? 1 : data.size() * 8);
            item.append(data);
        } else {
            item.append(char(0x00));
            put16(item, 0);
        }
        return ackHeader(reference, 2, item.size()) + QByteArray::fromHex("0401") + item;
    }

    // Write: the data item follows the parameter: return code, transport size, length, data.
    int code = 0xFF;
    if (pdu.size() < 28) {
        code = 0x07;
    } else {
        const int dataTransport = u8(pdu, 25);
        const int length = be16(pdu, 26);
        const int bytes = dataTransport == 0x04 ? length / 8 : dataTransport == 0x09 ? length : 1;
        if (errorBlock || area < 0x81 || area > 0x84 || (area == 0x84 && db == 0))
            code = 0x0A;
        else if (pdu.size() < 28 + bytes || (transport == 0x02 && bytes != count))
            code = 0x07;
        else if (transport == 0x01 && dataTransport == 0x03 && length == 1)
            code = memory->writeBit(area, db, bitAddress, u8(pdu, 28) & 1) ? 0xFF : 0x05;
        else if (transport == 0x02 && bitAddress % 8 != 0)
            code = 0x05;
        else if (transport == 0x02)
            code = memory->write(area, db, bitAddress / 8, pdu.mid(28, bytes)) ? 0xFF : 0x05;
        else
            code = 0x06;
    }
    return ackHeader(reference, 2, 1) + QByteArray::fromHex("0501") + QByteArray(1, char(code));
}
