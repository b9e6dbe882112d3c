#include "SocketSend.h"

#include <QTcpSocket>

#include <sys/socket.h>
#include <sys/types.h>

#include <cerrno>

namespace SocketSend {

void send(QTcpSocket *socket, const QByteArray &bytes)
{
    qint64 sent = 0;
    if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() == 0) {
        const qintptr fd = socket->socketDescriptor();
        while (fd >= 0 && sent < bytes.size()) {
            // MSG_NOSIGNAL: a peer that has gone must not raise SIGPIPE in the host's process.
            const ssize_t n = ::send(int(fd), bytes.constData() + sent, size_t(bytes.size() - sent),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                sent += n;
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;      // full, or an error: Qt takes over from here and reports it its way
        }
    }
    if (sent < bytes.size()) {
        socket->write(bytes.constData() + sent, bytes.size() - sent);
        socket->flush();
    }
}

} // namespace SocketSend
