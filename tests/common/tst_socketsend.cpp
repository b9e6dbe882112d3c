// Sending on a TCP socket past Qt's write buffer: what the peer receives is exactly what was
// sent, in order, also when the kernel takes only part of it or Qt still holds earlier bytes;
// and a peer that has gone does not end the process.
#include <QtTest>

#include <sys/socket.h>

#include "LoopbackPair.h"
#include "SocketSend.h"

class TestSocketSend : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void smallRequestGoesOutAtOnce();
    void whatTheKernelCannotTakeFollowsInOrder();
    void queuedBehindWhatQtHolds();
    void peerGone();

private:
    // Both ends run on this thread: the client's pending bytes go out while the peer reads.
    QByteArray receive(int size);

    LoopbackPair pair;
    QTcpSocket &client = pair.client;
    std::unique_ptr<QTcpSocket> &peer = pair.peer;
};

void TestSocketSend::init()
{
    QVERIFY(pair.open());
}

void TestSocketSend::cleanup()
{
    pair.close();
}

QByteArray TestSocketSend::receive(int size)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < size && clock.elapsed() < 20000) {
        if (client.bytesToWrite() > 0)
            client.waitForBytesWritten(10);
        peer->waitForReadyRead(10);
        got.append(peer->readAll());
    }
    return got;
}

void TestSocketSend::smallRequestGoesOutAtOnce()
{
    const QByteArray request = QByteArray::fromHex("0300001f02f080320100000001000e00000401120a10020002000184000000");
    SocketSend::send(&client, request);
    QCOMPARE(client.bytesToWrite(), qint64(0));
    QCOMPARE(receive(request.size()), request);
}

void TestSocketSend::whatTheKernelCannotTakeFollowsInOrder()
{
    const QByteArray big = numberedBytes(16 << 20, 1);
    SocketSend::send(&client, big);
    QVERIFY(receive(big.size()) == big);
}

void TestSocketSend::queuedBehindWhatQtHolds()
{
    const QByteArray first = numberedBytes(8 << 20, 2);
    const QByteArray second = numberedBytes(100, 3);
    client.write(first);        // Qt holds it until the event loop or a flush takes it out
    SocketSend::send(&client, second);
    QVERIFY(receive(first.size() + second.size()) == first + second);
}

void TestSocketSend::peerGone()
{
    // The peer resets the connection and the client sends before Qt has noticed: the bytes that
    // cannot go out are handed to Qt, which reports the broken connection its usual way.
    const linger reset = {1, 0};
    QCOMPARE(::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
    peer->abort();
    QSignalSpy failed(&client, &QAbstractSocket::errorOccurred);
    for (int i = 0; i < 3; ++i)
        SocketSend::send(&client, numberedBytes(64, i));
    client.waitForReadyRead(1000);
    QVERIFY(client.state() != QAbstractSocket::ConnectedState);
    QVERIFY(!failed.isEmpty());
}

QTEST_GUILESS_MAIN(TestSocketSend)
#include "tst_socketsend.moc"
