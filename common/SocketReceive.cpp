#include "SocketReceive.h"

#include <QTcpSocket>

#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cerrno>

namespace SocketReceive {

namespace {

constexpr int ChunkBytes = 16 * 1024;

// What the kernel holds now, without waiting. True when something was appended; `closed` when
// the kernel reports an end of file or an error instead.
bool drainKernel(int fd, QByteArray &into, bool &closed)
{
    bool got = false;
    char chunk[ChunkBytes];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            into.append(chunk, int(n));
            got = true;
            if (n < ssize_t(sizeof chunk))
                return got;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        return got;
    }
}

} // namespace

Outcome receive(QTcpSocket *socket, QByteArray &into, int waitMs)
{
    if (socket->bytesAvailable() > 0) {
        into.append(socket->readAll());
        return Outcome::Received;
    }
    if (socket->state() != QAbstractSocket::ConnectedState)
        return Outcome::Closed;
    const int fd = int(socket->socketDescriptor());
    pollfd ready{fd, POLLIN, 0};
    int polled;
    do
        polled = ::poll(&ready, 1, waitMs < 0 ? 0 : waitMs);
    while (polled < 0 && errno == EINTR);
    if (polled <= 0)
        return Outcome::Nothing;
    bool closed = false;
    const bool got = drainKernel(fd, into, closed);
    if (closed) {
        // Qt reads the end of file or the error again and reports it as it always does (its
        // state, the disconnected and error signals).
        socket->waitForReadyRead(0);
        if (socket->bytesAvailable() > 0)
            into.append(socket->readAll());
    }
    if (got)
        return Outcome::Received;
    return closed ? Outcome::Closed : Outcome::Nothing;
}

} // namespace SocketReceive
