// Sending on a connected TCP socket without a detour through Qt's write buffer: QTcpSocket
// copies every write into its buffer and switches its write notifier on and off around it, which
// under a GLib event dispatcher wakes the dispatcher twice per request. A request of a few dozen
// bytes goes into the kernel at once instead.
#ifndef SOCKETSEND_H
#define SOCKETSEND_H

#include <QByteArray>

class QTcpSocket;

namespace SocketSend {

// Sends `bytes` on `socket`. When Qt holds no unwritten bytes for the socket, they go straight
// to the kernel; what the kernel does not take at once, and every case of doubt (an error, a
// socket that is not connected), goes through QTcpSocket::write and flush as before, so the
// order of bytes and Qt's error reporting stay as they are.
void send(QTcpSocket *socket, const QByteArray &bytes);

} // namespace SocketSend

#endif // SOCKETSEND_H
