// The way a PPI link's frames travel: a TCP connection to a transparent serial-to-Ethernet
// gateway (GatewayMedium) or the serial line itself (SerialLineMedium). The transport sends,
// receives, waits, asks whether the link is up and hears of bytes and of the link's end only
// through this interface, so the frames and the exchanges above it are the same on both.
#ifndef PPIMEDIUM_H
#define PPIMEDIUM_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

class PpiMedium
{
public:
    enum class Outcome {
        Received,   // bytes were appended
        Nothing,    // none came within the wait
        Closed      // the medium closed or failed; it reports its end as an Event
    };

    // What a medium tells its owner, on the thread it lives on (inside the owner's waits too).
    enum class Event {
        Bytes,      // bytes have come: receive takes them
        Ended       // the link ended or the device went away
    };
    // `why` is the reason worth a warning line, empty when the end needs none.
    using Listener = std::function<void(Event event, const QString &why)>;

    // Before we speak the line must have been idle for the FDL idle time: 33 bit times.
    static constexpr int IdleBits = 33;
    // Behind a gateway the line's rate is unknown: the idle time of the slowest PPI rate holds
    // at every rate.
    static constexpr int GatewayIdleBaud = 9600;

    PpiMedium() = default;
    PpiMedium(const PpiMedium &) = delete;
    PpiMedium &operator=(const PpiMedium &) = delete;
    virtual ~PpiMedium() = default;

    // The one listener; an empty one hears nothing (set so before the medium closes or dies).
    void setListener(Listener to) { listener = std::move(to); }

    // The serial port's name or the gateway's address:port, for the warnings.
    virtual QString name() const = 0;
    virtual bool isUp() const = 0;
    // What the device cannot take at once goes out while the caller waits for the reply.
    virtual void send(const QByteArray &frame) = 0;
    // Appends what has come to `into`, waiting at most `waitMs` (0: only what is there) for the
    // first byte; callers loop until their own deadline.
    virtual Outcome receive(QByteArray &into, int waitMs) = 0;
    // True when the peer has ended the link (end of file, hang-up), checked on the descriptor
    // without running events or reading.
    virtual bool peerClosed() const = 0;
    // Drops what is pending in both directions and closes at once.
    virtual void close() = 0;
    // Leaves the link in order, within `waitMs`, where the medium has an order to keep.
    virtual void leave(int waitMs) = 0;
    // How long `bytes` take on the line itself: 0 where the medium does not pace them.
    virtual int lineTimeMs(int bytes) const = 0;
    virtual qint64 idleTimeNs() const = 0;

    // The idle time at `baud` bits per second, rounded up.
    static qint64 idleTimeNsAt(qint64 baud) { return (qint64(IdleBits) * 1000000000 + baud - 1) / baud; }

protected:
    void report(Event event, const QString &why = QString()) const
    {
        const Listener to = listener;      // a copy: the listener may be replaced while it runs
        if (to)
            to(event, why);
    }

private:
    Listener listener;
};

#endif // PPIMEDIUM_H
