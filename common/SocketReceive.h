// Receiving on a connected TCP socket without a detour through Qt's read buffer: QTcpSocket's
// wait asks the kernel three times per delivery (a wait, the count of bytes ready, the read) and
// copies the bytes twice. A driver that waits for one small answer at a time does it with one
// poll() and one recv().
#ifndef SOCKETRECEIVE_H
#define SOCKETRECEIVE_H

#include <QByteArray>

class QTcpSocket;

namespace SocketReceive {

enum class Outcome {
    Received,   // bytes were appended
    Nothing,    // none came within the wait
    Closed      // the peer closed the connection or it failed; Qt has seen it and reported it
};

// Appends to `into` what the socket has for the caller (at most 64 KiB per call), waiting at most
// `waitMs` (0: only what is there already; a signal may end the wait sooner) for the first byte:
// callers loop until their own deadline. Bytes Qt has buffered come first, so the stream keeps
// its order whichever way its bytes were read. An end of file or an error is left for Qt to read
// itself, so that its state, signals and error are the ones it always gives.
Outcome receive(QTcpSocket *socket, QByteArray &into, int waitMs);

} // namespace SocketReceive

#endif // SOCKETRECEIVE_H
