#include "PpiStation.h"

#include <QMutexLocker>
#include <QPointer>
#include <QTimer>

#include <functional>

#include "ByteOrder.h"
#include "ChaosPlan.h"
#include "PlcMemory.h"
#include "PpiFrames.h"
#include "PpiLinks.h"
#include "PpiStationFrames.h"
#include "S7Jobs.h"

using ByteOrder::be16;
using ByteOrder::u8;
using PpiFrames::FixedStart;
using PpiFrames::ShortAck;
using PpiFrames::VariableStart;
using namespace PpiStationFrames;

namespace {

constexpr int MaxRxBuffer = 1024;
// The largest S7 PDU the station takes or sends.
constexpr int PduSize = PpiFrames::JobPduLength;

} // namespace

PpiStation::PpiStation(PlcMemory *memory, int stationAddress, QObject *parent)
    : QObject(parent), memory(memory), station(stationAddress & 0xFF)
{
    const PpiLinks::Receiver receiver = [this](Link *link, const QByteArray &bytes) { onBytes(link, bytes); };
    gateway = new PpiLinks::Gateway(receiver, this);
    pty = new PpiLinks::Pty(receiver, this);
}

PpiStation::~PpiStation() = default;

QByteArray PpiStation::serveBytes(const QByteArray &bytes)
{
    if (!memoryLink)
        memoryLink = new Link(this, [this](const QByteArray &out) { memoryLinkOutput.append(out); });
    memoryLinkOutput.clear();
    onBytes(memoryLink, bytes);
    return memoryLinkOutput;
}

bool PpiStation::listenTcp(quint16 port)
{
    return gateway->listen(port);
}

quint16 PpiStation::tcpPort() const
{
    return gateway->port();
}

int PpiStation::gatewayClients() const
{
    return gateway->clients();
}

bool PpiStation::openPty(const QString &linkPath)
{
    return pty->open(linkPath);
}

QString PpiStation::ptyDevice() const
{
    return pty->device();
}

bool PpiStation::lineSettings(LineSettings *settings) const
{
    return pty->lineSettings(settings);
}

bool PpiStation::waitForLateReply(int ms)
{
    return lateReplies.tryAcquire(1, ms);
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
    const bool isFixed = u8(frame, 0) == FixedStart;
    const int base = isFixed ? 1 : 4;
    const int da = u8(frame, base);
    const int sa = u8(frame, base + 1);
    const int fc = u8(frame, base + 2);
    if (link->gatewayClient && sharedGateway.load()) {
        Link *&shared = masterLinks[sa];
        if (!shared)
            shared = new Link(this, [this](const QByteArray &bytes) { gateway->writeAll(bytes); });
        link = shared;
    }
    link->lastFrame = frame;
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

void PpiStation::setChaos(const ChaosPlan &plan)
{
    chaos = std::make_unique<ChaosPlan>(plan);
}

bool PpiStation::isFaultBlock(int dbNumber)
{
    return (dbNumber >= NoAckBlock && dbNumber <= FailingRangeBlock)
           || (dbNumber >= GarbageFirstBlock && dbNumber <= LoneAckBlock);
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
    case ForeignStatusFirstBlock:
        link->write(fixed(3, 1, 0x49));
        return true;
    case ForeignJobFirstBlock:
        link->write(variable(3, 1, 0x6C, QByteArray::fromHex("32010000" "1234" "000e0000" "0401120a10020003000184000320")));
        return true;
    case LoneAckBlock:
        link->write(QByteArray(2, char(ShortAck)));   // the job's E5 and the lone one
        return false;
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
        const QByteArray answer = QByteArray::fromHex("32030000" "1234" "000200070000" "0401" "ff040018" "10e568");
        frames << variable(st, 1, 0x6C, job) << QByteArray(1, char(ShortAck)) << fixed(st, 1, 0x5C)
               << variable(1, st, 0x08, answer);
    }
    if (kinds & FixedDataTraffic) {
        // Station 3's data response to master 1 (a request would own the E5 behind it).
        frames << fixedData(1, 3, 0x08, QByteArray::fromHex("1068e51068e51068"));
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
    const S7Jobs::Job job = S7Jobs::inspect(pdu);
    const int block = job.valid && job.area == 0x84 ? job.dbNumber : 0;
    int refused = S7Jobs::ItemOk;
    if (block == ErrorItemBlock)
        refused = S7Jobs::ItemObjectMissing;
    else if (block == FailingRangeBlock && S7Jobs::holdsByte(pdu, FailingByte))
        refused = S7Jobs::ItemAddressOutOfRange;
    const QByteArray answer = S7Jobs::answer(memory, pdu, PduSize, S7Jobs::Setup::Refused, refused,
                                             S7Jobs::Family::s7_200Records(timerRecords));
    // The station has acknowledged the frame already: what is no job still gets an answer.
    return answer.isEmpty() ? S7Jobs::errorAck(0, 0x81, 0x04) : answer;
}
