#include "GatewayMedium.h"

#include <QDebug>
#include <QTcpSocket>

#include <poll.h>

#include "SocketReceive.h"
#include "SocketSend.h"

GatewayMedium::GatewayMedium()
    : tcp(std::make_unique<QTcpSocket>())
{
    // Direct: the reports reach the owner inside its waits, on this thread.
    QObject::connect(tcp.get(), &QTcpSocket::readyRead, tcp.get(), [this] { report(Event::Bytes); },
                     Qt::DirectConnection);
    QObject::connect(tcp.get(), &QTcpSocket::disconnected, tcp.get(), [this] {
        QString why;
        QDebug(&why).nospace() << tcp->error();
        report(Event::Ended, why);
    }, Qt::DirectConnection);
}

GatewayMedium::~GatewayMedium()
{
    // The socket's last signals, from its destructor, are for nobody.
    QObject::disconnect(tcp.get(), nullptr, nullptr, nullptr);
}

bool GatewayMedium::open(const QHostAddress &address, quint16 port, int waitMs)
{
    peer = address;
    peerPort = port;
    tcp->abort();
    tcp->connectToHost(address, port, QIODevice::ReadWrite);
    return tcp->waitForConnected(waitMs);
}

bool GatewayMedium::isUp() const
{
    return tcp->state() == QAbstractSocket::ConnectedState;
}

void GatewayMedium::send(const QByteArray &frame)
{
    SocketSend::send(tcp.get(), frame);
}

PpiMedium::Outcome GatewayMedium::receive(QByteArray &into, int waitMs)
{
    switch (SocketReceive::receive(tcp.get(), into, waitMs)) {
    case SocketReceive::Outcome::Received:
        return Outcome::Received;
    case SocketReceive::Outcome::Nothing:
        return Outcome::Nothing;
    case SocketReceive::Outcome::Closed:
        break;
    }
    return Outcome::Closed;
}

bool GatewayMedium::peerClosed() const
{
    const qintptr fd = tcp->socketDescriptor();
    if (fd < 0)
        return false;
    // The peer's FIN shows as POLLRDHUP even while unread bytes are still queued before it.
    pollfd state{int(fd), POLLRDHUP, 0};
    return ::poll(&state, 1, 0) > 0 && (state.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void GatewayMedium::close()
{
    tcp->abort();
}

void GatewayMedium::leave(int waitMs)
{
    tcp->disconnectFromHost();
    if (tcp->state() != QAbstractSocket::UnconnectedState && !tcp->waitForDisconnected(waitMs))
        tcp->abort();
    tcp->close();
}

int GatewayMedium::lineTimeMs(int) const
{
    // Behind a gateway the line's rate is unknown: the answer wait alone bounds an exchange.
    return 0;
}

qint64 GatewayMedium::idleTimeNs() const
{
    return idleTimeNsAt(GatewayIdleBaud);
}
