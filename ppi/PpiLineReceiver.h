// The receiving side of a PPI link: collects what a PpiMedium delivers, takes whole frames off the
// front with PpiFrames' framer, and keeps the line's timing: a frame whose next byte does not
// come in time has failed (the stall rule), and we speak only on an idle line. Its waits run the
// thread's events, so a host slot may run inside them, and may delete the receiver's owner.
#ifndef PPILINERECEIVER_H
#define PPILINERECEIVER_H

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>

#include <functional>

#include "PpiMedium.h"

class QEventLoop;

class PpiLineReceiver : public QObject
{
public:
    // A frame's bytes follow each other without a pause on the line; one whose next byte has not
    // come for this long has failed (a stray byte that looked like a frame start), and the scan
    // goes on behind its first byte. Longer than a USB adapter's latency timer or a gateway's
    // packing interval, which hold a frame's bytes back in pieces.
    static constexpr int FrameStallMs = 100;
    // The longest the device's own blocking wait may hold the thread's events up: less than a
    // frame of a 60 Hz screen. A timed wait shorter than the kernel's clock tick has the kernel
    // program its hardware timer at the wait's start and end, which costs more than the wait's
    // own work (several times over in a virtual machine).
    static constexpr int QuickWaitMs = 10;

    explicit PpiLineReceiver(QObject *parent = nullptr);

    // The medium bytes come from, or none; what was held is forgotten.
    void setMedium(PpiMedium *from);
    // The line's state is unknown when it opens: the first frame waits for an idle line.
    void lineOpened() { lastArrival.start(); }
    bool linkUp() const { return medium && medium->isUp(); }
    // The medium said bytes came: they are taken, even from a medium that is going down.
    void bytesCame()
    {
        if (medium)
            receive(0);
    }
    // Ends the running wait early (bytes came, the link ended).
    void wake();
    void clear() { held.resize(0); }     // keeps its room
    bool holdsNothing() const { return held.isEmpty(); }

    // Waits, within `deadline`, until no frame is arriving and the line has been idle for the
    // medium's idle time. A frame that is still arriving is let finish, never cut: its tail would
    // be scanned as frames of its own. With `dropHeld`, what came before is stale and dropped, as
    // whole frames. False when the line never went idle in time, or the receiver was deleted.
    bool awaitIdleLine(const QDeadlineTimer &deadline, bool dropHeld);
    // The next whole frame, within `deadline`; empty when none came (or the receiver was deleted).
    QByteArray nextFrame(const QDeadlineTimer &deadline);
    // Of the whole frames held now, the first that `wanted` accepts is taken; the frames before
    // it, or all of them when none is accepted, are dropped. Empty when none was accepted.
    QByteArray takeHeldFrame(const std::function<bool(const QByteArray &)> &wanted);
    // Runs the thread's events for `ms`; false when the receiver was deleted meanwhile.
    bool pause(int ms) { return runEvents(ms, false); }

private:
    PpiMedium::Outcome receive(int waitMs);
    bool runEvents(int ms, bool wakeable);
    bool waitForBytes(const QDeadlineTimer &deadline);
    bool dropStalled(int at, QDeadlineTimer *until);

    PpiMedium *medium = nullptr;
    QByteArray held;
    QElapsedTimer lastArrival;          // when bytes last came in: the line's idle time runs from it
    QEventLoop *replyWait = nullptr;    // the running wait, if any
};

#endif // PPILINERECEIVER_H
