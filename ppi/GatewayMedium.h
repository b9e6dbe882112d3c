// A TCP connection to a transparent serial-to-Ethernet gateway, which passes the bytes on to the
// PPI line and keeps the line's pace to itself.
#ifndef GATEWAYMEDIUM_H
#define GATEWAYMEDIUM_H

#include <QAbstractSocket>
#include <QHostAddress>

#include <memory>

#include "PpiMedium.h"

class QTcpSocket;

class GatewayMedium final : public PpiMedium
{
public:
    // The socket is made on the calling thread and lives there: its signals, the reports they
    // make and every wait run on the thread that connects.
    GatewayMedium();
    ~GatewayMedium() override;

    // Drops any connection the socket has and connects anew; false when not connected in time.
    bool open(const QHostAddress &address, quint16 port, int waitMs);
    QString name() const override { return QStringLiteral("%1:%2").arg(peer.toString()).arg(peerPort); }
    bool isUp() const override;
    void send(const QByteArray &frame) override;
    Outcome receive(QByteArray &into, int waitMs) override;
    bool peerClosed() const override;
    void close() override;
    // Leaves the gateway in order, within `waitMs`: a gateway that takes no more bytes would
    // hold the unsent ones, and us, for ever.
    void leave(int waitMs) override;
    int lineTimeMs(int bytes) const override;
    qint64 idleTimeNs() const override;

private:
    const std::unique_ptr<QTcpSocket> tcp;
    QHostAddress peer;
    quint16 peerPort = 0;
};

#endif // GATEWAYMEDIUM_H
