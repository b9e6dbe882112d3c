// The media a simulated PPI station is reached over: a transparent TCP gateway on loopback, whose
// every client connection is a link of its own, and a pseudo-terminal, the one link of a serial
// line. Each hands the station the bytes that come in, with the link they came on; the link is
// how the station writes back, hangs up and stops reading, and holds the state of its exchange.
#ifndef PPILINKS_H
#define PPILINKS_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

#include "PpiStation.h"

class QSocketNotifier;
class QTcpServer;
struct LineSettings;

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
    bool gatewayClient = false; // a client connection of the gateway
};

namespace PpiLinks {

// What a medium calls with the bytes that came in on one of its links.
using Receiver = std::function<void(PpiStation::Link *link, const QByteArray &bytes)>;

// The gateway: listens on 127.0.0.1; a client that connects gets a link that lives as long as
// its connection.
class Gateway : public QObject
{
public:
    Gateway(Receiver receiver, QObject *parent);

    bool listen(quint16 port);
    quint16 port() const;
    // Clients connected now; from any thread.
    int clients() const { return connected.load(); }
    // Writes `bytes` to every client, as a multi-client gateway passes the line on to all.
    void writeAll(const QByteArray &bytes);

private:
    Receiver receive;
    QTcpServer *server = nullptr;
    std::atomic<int> connected{0};
};

// The serial line: a pseudo-terminal in raw mode whose slave device is linked at a path, as a USB
// adapter appears. Hanging up unplugs it: the device is closed and a new one is linked at the
// same path.
class Pty : public QObject
{
public:
    Pty(Receiver receiver, QObject *parent);
    ~Pty() override;

    // Opens the pseudo-terminal, serves its master side and links its slave device at linkPath
    // (none when empty); false when open already or when any step fails.
    bool open(const QString &linkPath);
    QString device() const { return name; }
    // The settings the driver runs the line with; false without a line.
    bool lineSettings(LineSettings *settings) const;

private:
    void close();
    void read();

    Receiver receive;
    int master = -1;
    int slave = -1;
    QString name;
    QString linkPath;
    QSocketNotifier *notifier = nullptr;
    PpiStation::Link *link = nullptr;
};

} // namespace PpiLinks

#endif // PPILINKS_H
