// A connected TCP pair on loopback, both ends on the test's thread: `client` is the driver's
// side, `peer` the other end.
#ifndef LOOPBACKPAIR_H
#define LOOPBACKPAIR_H

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

struct LoopbackPair {
    QTcpServer server;
    QTcpSocket client;
    std::unique_ptr<QTcpSocket> peer;

    bool open()
    {
        if (!server.listen(QHostAddress::LocalHost))
            return false;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!client.waitForConnected(5000) || !server.waitForNewConnection(5000))
            return false;
        peer.reset(server.nextPendingConnection());
        return bool(peer);
    }

    void close()
    {
        client.abort();
        peer.reset();
        server.close();
    }
};

// Bytes that show where a piece went missing or came out of order.
inline QByteArray numberedBytes(int size, int salt)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + (i >> 10) + salt) & 0xFF);
    return bytes;
}

#endif // LOOPBACKPAIR_H
