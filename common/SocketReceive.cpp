#include "SocketReceive.h"

#include <QTcpSocket>

#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cerrno>

namespace SocketReceive {

namespace {

constexpr int ChunkBytes = 16 * 1024;
// One call takes at most this much, so that a peer that never stops sending cannot hold the
// caller past its deadline.
constexpr int MostPerCall = 4 * ChunkBytes;

// What the kernel holds now, without waiting. True when something was appended; `closed` when
// the kernel reports an end of file or an error instead.
bool drainKernel(int fd, QByteArray &into, bool &closed)
{
    char chunk[ChunkBytes];
    int taken = 0;
    while (taken < MostPerCall) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            into.append(chunk, int(n));
            taken += int(n);
            if (n < ssize_t(sizeof chunk))
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    return taken > 0;
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
    // Interrupted by a signal: nothing yet, and the caller's loop waits again for what is left.
    if (::poll(&ready, 1, waitMs < 0 ? 0 : waitMs) <= 0)
        return Outcome::Nothing;
    bool closed = false;
    bool got = false;
    // A socket error is Qt's to read, so that it reports the error it always reports.
    if (!(ready.revents & POLLERR))
        got = drainKernel(fd, into, closed);
    if (closed || (ready.revents & POLLERR)) {
        // Qt reads the end of file or the error again and reports it as it always does (its
        // state, the disconnected and error signals).
        closed = !socket->waitForReadyRead(0) && socket->state() != QAbstractSocket::ConnectedState;
        if (socket->bytesAvailable() > 0) {
            into.append(socket->readAll());
            got = true;
        }
    }
    if (got)
        return Outcome::Received;
    return closed ? Outcome::Closed : Outcome::Nothing;
}

} // namespace SocketReceive
