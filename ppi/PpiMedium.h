// The way a PPI link's frames travel: a TCP connection to a transparent serial-to-Ethernet
// gateway (GatewayMedium) or the serial line itself (SerialLineMedium). The transport sends,
// receives, waits and asks whether the link is up only through this interface, so the frames
// and the exchanges above it are the same on both.
#ifndef PPIMEDIUM_H
#define PPIMEDIUM_H

#include <QByteArray>
#include <QtGlobal>

class PpiMedium
{
public:
    enum class Outcome {
        Received,   // bytes were appended
        Nothing,    // none came within the wait
        Closed      // the medium closed or failed; its own signals report it
    };

    // Before we speak the line must have been idle for the FDL idle time: 33 bit times.
    static constexpr int IdleBits = 33;
    // Behind a gateway the line's rate is unknown: the idle time of the slowest PPI rate holds
    // at every rate.
    static constexpr int GatewayIdleBaud = 9600;

    PpiMedium() = default;
    PpiMedium(const PpiMedium &) = delete;
    PpiMedium &operator=(const PpiMedium &) = delete;
    virtual ~PpiMedium() = default;

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
    // How long `bytes` take on the line itself: 0 where the medium does not pace them.
    virtual int lineTimeMs(int bytes) const = 0;
    virtual qint64 idleTimeNs() const = 0;

    // The idle time at `baud` bits per second, rounded up.
    static qint64 idleTimeNsAt(qint64 baud) { return (qint64(IdleBits) * 1000000000 + baud - 1) / baud; }
};

#endif // PPIMEDIUM_H
