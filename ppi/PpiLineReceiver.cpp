#include "PpiLineReceiver.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include "PpiFrames.h"

namespace {

// Bytes kept while waiting; more than that is a flood, and only its newest bytes can matter.
constexpr int ReceiveLimit = 4 * PpiFrames::MaxFrameLength;

} // namespace

PpiLineReceiver::PpiLineReceiver(QObject *parent)
    : QObject(parent)
{
    // Kept for the receiver's life: the bytes of every exchange are collected without allocating.
    held.reserve(ReceiveLimit + PpiFrames::MaxFrameLength);
}

void PpiLineReceiver::setMedium(PpiMedium *from)
{
    medium = from;
    clear();
}

// The one way into the buffer, for the waits and the medium's reports alike.
PpiMedium::Outcome PpiLineReceiver::receive(int waitMs)
{
    const PpiMedium::Outcome got = medium->receive(held, waitMs);
    if (got == PpiMedium::Outcome::Received) {
        if (held.size() > ReceiveLimit)
            held.remove(0, held.size() - ReceiveLimit);
        lastArrival.start();
        wake();
    }
    return got;
}

void PpiLineReceiver::wake()
{
    if (replyWait)
        replyWait->quit();
}

bool PpiLineReceiver::runEvents(int ms, bool wakeable)
{
    // Waits for events instead of spinning over them: the HMI shares the processor.
    if (ms <= 0)
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);      // a coarse timer may fire 5 % early
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    if (wakeable)
        replyWait = &loop;
    const QPointer<PpiLineReceiver> self(this);
    loop.exec();
    if (!self)
        return false;       // a host slot deleted our owner
    if (wakeable)
        replyWait = nullptr;
    return true;
}

bool PpiLineReceiver::waitForBytes(const QDeadlineTimer &deadline)
{
    qint64 left = deadline.remainingTime();
    if (left <= 0)
        return true;
    // A gateway or a fast line answers within a few milliseconds: the device's own wait takes
    // those at a fraction of an event loop's cost, and the thread's events are held up no longer
    // than that. A longer wait runs them.
    if (linkUp()) {
        if (receive(int(qMin<qint64>(left, QuickWaitMs))) != PpiMedium::Outcome::Nothing)
            return true;
        left = deadline.remainingTime();
        if (left <= 0 || !linkUp())
            return true;
    }
    return runEvents(int(left), true);
}

// The stall rule, for the candidate frame at `at`: one whose next byte has not come in time has
// failed, and its first byte goes (true); otherwise `until` is cut to the moment it would stall.
bool PpiLineReceiver::dropStalled(int at, QDeadlineTimer *until)
{
    const qint64 since = lastArrival.isValid() ? lastArrival.elapsed() : FrameStallMs;
    const QDeadlineTimer stall(qMax<qint64>(0, FrameStallMs - since), Qt::PreciseTimer);
    if (stall.hasExpired()) {
        held.remove(at, 1);
        return true;
    }
    *until = qMin(*until, stall);
    return false;
}

bool PpiLineReceiver::awaitIdleLine(const QDeadlineTimer &deadline, bool dropHeld)
{
    for (;;) {
        if (linkUp())
            receive(0);
        int at = 0;
        for (;;) {
            const PpiFrames::Scan s = PpiFrames::scan(held, at);
            at += s.skip + s.length;
            if (s.length == 0)
                break;
        }
        if (dropHeld) {
            held.remove(0, at);
            at = 0;
        }
        QDeadlineTimer until = deadline;
        if (at < held.size()) {
            // A frame is arriving; one that stalled has failed, and the scan goes on behind it.
            if (dropStalled(at, &until))
                continue;
        } else {
            const qint64 idleTimeNs =
                medium ? medium->idleTimeNs() : PpiMedium::idleTimeNsAt(PpiMedium::GatewayIdleBaud);
            const qint64 idleNs = lastArrival.isValid() ? idleTimeNs - lastArrival.nsecsElapsed() : 0;
            if (idleNs <= 0)
                return true;
            until = qMin(until, QDeadlineTimer(idleNs / 1000000 + 1, Qt::PreciseTimer));
        }
        if (deadline.hasExpired() || !linkUp() || !waitForBytes(until))
            return false;
    }
}

QByteArray PpiLineReceiver::nextFrame(const QDeadlineTimer &deadline)
{
    for (;;) {
        const PpiFrames::Scan s = PpiFrames::scan(held);
        held.remove(0, s.skip);
        if (s.length > 0) {
            const QByteArray frame(held.constData(), s.length);     // a copy: `held` keeps its room
            held.remove(0, s.length);
            return frame;
        }
        QDeadlineTimer until = deadline;
        if (!held.isEmpty() && dropStalled(0, &until))
            continue;
        if (deadline.hasExpired() || !linkUp() || !waitForBytes(until))
            return QByteArray();
    }
}

QByteArray PpiLineReceiver::takeHeldFrame(const std::function<bool(const QByteArray &)> &wanted)
{
    int at = 0;
    for (;;) {
        const PpiFrames::Scan s = PpiFrames::scan(held, at);
        if (s.length == 0)
            break;
        const int start = at + s.skip;
        at = start + s.length;
        const QByteArray frame(held.constData() + start, s.length);
        if (wanted(frame)) {
            held.remove(0, at);
            return frame;
        }
    }
    held.remove(0, at);
    return QByteArray();
}
