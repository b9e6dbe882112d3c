// Receiving on a TCP socket past Qt's read buffer: the bytes come in the order they were sent,
// also when Qt had read some of them already; a wait ends on time; a peer that closes or resets
// the connection is reported the way Qt always reports it.
#include <QtTest>

#include <sys/ioctl.h>
#include <sys/socket.h>

#include "LoopbackPair.h"
#include "SocketReceive.h"

using SocketReceive::Outcome;

class TestSocketReceive : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void whatQtHoldsComesFirst();
    void manyDeliveriesInOrder();
    void aFloodDoesNotHoldTheCaller();
    void waitEndsOnTime();
    void peerCloses();
    void peerResets();

private:
    // Both ends run on this thread; the peer's bytes are in the client's kernel buffer once its
    // write has been flushed.
    void peerSends(const QByteArray &bytes);
    QByteArray receiveAll(int size);

    LoopbackPair pair;
    QTcpSocket &client = pair.client;
    std::unique_ptr<QTcpSocket> &peer = pair.peer;
};

void TestSocketReceive::init()
{
    QVERIFY(pair.open());
}

void TestSocketReceive::cleanup()
{
    pair.close();
}

void TestSocketReceive::peerSends(const QByteArray &bytes)
{
    peer->write(bytes);
    while (peer->bytesToWrite() > 0)
        QVERIFY(peer->waitForBytesWritten(5000));
}

QByteArray TestSocketReceive::receiveAll(int size)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < size && clock.elapsed() < 20000) {
        if (peer->bytesToWrite() > 0)
            peer->waitForBytesWritten(10);
        if (SocketReceive::receive(&client, got, 10) == Outcome::Closed)
            break;
    }
    return got;
}

void TestSocketReceive::whatQtHoldsComesFirst()
{
    peerSends("AB");
    QVERIFY(client.waitForReadyRead(5000));     // Qt now holds "AB" in its own buffer
    peerSends("CD");
    QByteArray got("x");
    QCOMPARE(SocketReceive::receive(&client, got, 1000), Outcome::Received);
    QCOMPARE(receiveAll(5 - got.size()).prepend(got), QByteArray("xABCD"));
    QCOMPARE(client.bytesAvailable(), qint64(0));
}

void TestSocketReceive::manyDeliveriesInOrder()
{
    // More than one read of the kernel's buffer takes, in pieces the peer writes as it can.
    const QByteArray big = numberedBytes(1 << 20, 5);
    peer->write(big);
    QVERIFY(receiveAll(big.size()) == big);
}

void TestSocketReceive::aFloodDoesNotHoldTheCaller()
{
    // However much the kernel holds, one call hands control back to the caller (whose deadline
    // a peer that never stops sending would otherwise outlast), and the rest follows in order.
    const int fd = int(client.socketDescriptor());
    const int room = 2 << 20;
    QCOMPARE(::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room), 0);
    const QByteArray big = numberedBytes(4 << 20, 9);
    peer->write(big);
    int queued = 0;
    QElapsedTimer clock;
    clock.start();
    while (queued < (256 << 10) && clock.elapsed() < 5000) {
        peer->waitForBytesWritten(10);
        QCOMPARE(::ioctl(fd, FIONREAD, &queued), 0);
    }
    if (queued < (256 << 10))
        QSKIP("the kernel does not queue 256 KiB on this socket");
    QByteArray got;
    QCOMPARE(SocketReceive::receive(&client, got, 0), Outcome::Received);
    QVERIFY2(got.size() < queued, qPrintable(QString::number(got.size())));
    got.append(receiveAll(big.size() - got.size()));
    QVERIFY(got == big);
}

void TestSocketReceive::waitEndsOnTime()
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(SocketReceive::receive(&client, got, 0), Outcome::Nothing);
    QCOMPARE(SocketReceive::receive(&client, got, 200), Outcome::Nothing);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(got.isEmpty());
    QCOMPARE(client.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(client.error(), QAbstractSocket::UnknownSocketError);   // a wait that ends is no error
}

void TestSocketReceive::peerCloses()
{
    QSignalSpy gone(&client, &QAbstractSocket::disconnected);
    peerSends("last");
    peer->disconnectFromHost();
    QByteArray got;
    for (int i = 0; i < 10 && got.size() < 4; ++i)
        SocketReceive::receive(&client, got, 1000);
    QCOMPARE(got, QByteArray("last"));          // what came before the end is not lost
    QElapsedTimer clock;
    clock.start();
    Outcome last = Outcome::Received;
    while (last != Outcome::Closed && clock.elapsed() < 2000)
        last = SocketReceive::receive(&client, got, 1000);
    QCOMPARE(last, Outcome::Closed);
    QCOMPARE(got, QByteArray("last"));
    QCOMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(gone.count(), 1);
    QCOMPARE(client.error(), QAbstractSocket::RemoteHostClosedError);
    QCOMPARE(SocketReceive::receive(&client, got, 1000), Outcome::Closed);
}

void TestSocketReceive::peerResets()
{
    const linger reset = {1, 0};
    QCOMPARE(::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
    peer->abort();
    QSignalSpy failed(&client, &QAbstractSocket::errorOccurred);
    QByteArray got;
    QCOMPARE(SocketReceive::receive(&client, got, 1000), Outcome::Closed);
    QVERIFY(got.isEmpty());
    QVERIFY(client.state() != QAbstractSocket::ConnectedState);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(client.error(), QAbstractSocket::RemoteHostClosedError);   // as Qt reports a reset
}

QTEST_GUILESS_MAIN(TestSocketReceive)
#include "tst_socketreceive.moc"
