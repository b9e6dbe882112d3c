// The S7 transport against the simulator's S7 server over a real loopback socket. What it shares
// with the PPI transport is tested in tests/host/tst_job_ports.cpp.
#include <QtTest>
#include <QTcpSocket>

#include <poll.h>

#include "CmdSiemens_S7.h"
#include "LogCapture.h"
#include "SimulatorThreads.h"

namespace {

const QString Loopback = QStringLiteral("127.0.0.1");

// The PDU reference is random: compare frames with it zeroed.
QByteArray withoutReference(QByteArray frame)
{
    if (frame.size() > 12)
        frame[11] = frame[12] = 0;
    return frame;
}

// Waits, within the answer time, until the peer's end of file (or reset) has reached `socket`,
// without running the events that would let Qt notice it first.
bool peerHasClosed(QTcpSocket *socket)
{
    pollfd p{};
    p.fd = int(socket->socketDescriptor());
    p.events = POLLRDHUP;
    return ::poll(&p, 1, 2000) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

} // namespace

class TestS7Transport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void handshakeRefusals_data();
    void handshakeRefusals();
    void grantedPdu_data();
    void grantedPdu();
    void secondConnectOnReadyLink();
    void framesOnTheWire();
    void readFaults_data();
    void readFaults();
    void leftoverAnswerIsDropped();
    void writeFaults_data();
    void writeFaults();
    void severalConnectionsAtOnce();

private:
    SimulatorThread sim;
};

void TestS7Transport::initTestCase()
{
    QVERIFY(sim.port != 0);
    QByteArray pattern;
    for (int i = 0; i < 16; ++i)
        pattern.append(char(0xA0 + i));
    for (int db : {1, 5, 60001, 60002, 60003, 60004, 60009, 60011, 60013, 60022, 60023, 60024, 60026, 60027})
        QVERIFY(sim.memory.write(0x84, db, 0, pattern));
}

void TestS7Transport::handshakeRefusals_data()
{
    QTest::addColumn<int>("refusal");
    QTest::addColumn<int>("pdu");       // the PDU length the PLC grants
    QTest::addColumn<QString>("warning");
    const QString setupFailed = QStringLiteral("lib[Siemens_S7]第二次握手失败 127.0.0.1:%1 ");
    QTest::newRow("connection request") << int(S7Server::Refusal::ConnectionRequest) << int(S7Server::DefaultPduSize)
                                        << QStringLiteral("lib[Siemens_S7]第一次握手失败 127.0.0.1:%1 ");
    QTest::newRow("set-up") << int(S7Server::Refusal::Setup) << int(S7Server::DefaultPduSize) << setupFailed;
    // A PLC that grants less than a one-byte job needs has refused the set-up.
    QTest::newRow("grant below a one-byte job") << int(S7Server::Refusal::None) << 28 << setupFailed;
}

void TestS7Transport::handshakeRefusals()
{
    QFETCH(int, refusal);
    QFETCH(int, pdu);
    QFETCH(QString, warning);
    SimulatorThread refusing{S7Server::Refusal(refusal)};
    refusing.server->setPduSize(pdu);
    CmdSiemens_S7 t;
    LogCapture log;
    QCOMPARE(t.ConnectDrive(Loopback, refusing.port), -2);
    QCOMPARE(t.Connection_status(), -3);
    QVERIFY(log.lines(QtWarningMsg).contains(warning.arg(refusing.port)));
}

void TestS7Transport::grantedPdu_data()
{
    QTest::addColumn<int>("pdu");
    for (int pdu : {240, 480, 960})
        QTest::addRow("%d", pdu) << pdu;
}

void TestS7Transport::grantedPdu()
{
    QFETCH(int, pdu);
    sim.server->setPduSize(pdu);
    const auto usual = qScopeGuard([this] { sim.server->setPduSize(S7Server::DefaultPduSize); });
    CmdSiemens_S7 t;
    QCOMPARE(t.ConnectDrive(Loopback, sim.port), 0);
    QCOMPARE(t.pduLength(), pdu);
}

void TestS7Transport::secondConnectOnReadyLink()
{
    CmdSiemens_S7 t;
    SimulatorThread first;
    QCOMPARE(t.ConnectDrive(Loopback, first.port), 0);
    QTcpSocket *socket = t.tcpSocket;
    LogCapture log;
    QCOMPARE(t.ConnectDrive(Loopback, sim.port), 0);
    QCOMPARE(t.tcpSocket, socket);
    // The "Disconnected=" line names the link that was dropped, not the new one.
    const QStringList warnings = log.lines(QtWarningMsg);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().startsWith(QStringLiteral("lib[Siemens_S7]127.0.0.1:%1 Disconnected=").arg(first.port)),
             qPrintable(warnings.first()));
    QByteArray out;
    QCOMPARE(t.Read_area(0, 1, &out, 5, 0x84, "DB5.DBB0"), 0);
    QCOMPARE(out.toHex(), QByteArray("a0"));
}

void TestS7Transport::framesOnTheWire()
{
    CmdSiemens_S7 t;
    QCOMPARE(t.ConnectDrive(Loopback, sim.port), 0);
    QByteArray out;
    QCOMPARE(t.Read_area(100, 4, &out, 0, 0x84, "V100"), 0);
    QCOMPARE(withoutReference(sim.server->lastJob()).toHex(),
             QByteArray("0300001f02f080320100000000000e00000401120a100200040001840003" "20"));
    QCOMPARE(t.WriteHoldingRegistersVarea(5, 80, 2, QByteArray::fromHex("abcd"), 0x84, "DB5.DBW10"), 0);
    QCOMPARE(withoutReference(sim.server->lastJob()).toHex(),
             QByteArray("0300002502f080320100000000000e00060501120a1002000200058400005000040010abcd"));
    QCOMPARE(t.WriteCoilsQarea(0, 3, 1, QByteArray::fromHex("01"), 0x82, "Q0.3"), 0);
    QCOMPARE(withoutReference(sim.server->lastJob()).toHex(),
             QByteArray("0300002402f080320100000000000e00050501120a100100010000820000030003000101"));
    bool bit = false;
    QVERIFY(sim.memory.readBit(0x82, 0, 3, &bit));
    QVERIFY(bit);
    QByteArray written;
    QVERIFY(sim.memory.read(0x84, 5, 10, 2, &written));
    QCOMPARE(written.toHex(), QByteArray("abcd"));
}

void TestS7Transport::readFaults_data()
{
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("byteAddress");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");    // what the warning ends with: the PLC's own reason
    QTest::newRow("split into segments") << 60002 << 1 << 3 << 0 << QByteArray::fromHex("a1a2a3") << QStringLiteral("");
    QTest::newRow("stray answer, then the answer, one segment") << 60003 << 0 << 2 << 0 << QByteArray::fromHex("a0a1") << QStringLiteral("");
    QTest::newRow("1 MiB of stray answers, then the answer") << 60013 << 3 << 2 << 0 << QByteArray::fromHex("a3a4") << QStringLiteral("");
    QTest::newRow("error item: out of range") << 1 << 65535 << 4 << -1 << QByteArray() << QStringLiteral("[PLC 0x05: 地址超出范围]");
    QTest::newRow("V memory is data block 1") << 0 << 0 << 4 << 0 << QByteArray::fromHex("a0a1a2a3") << QStringLiteral("");
    QTest::newRow("oversized for the PDU") << 1 << 0 << 950 << -1 << QByteArray() << QStringLiteral("[PLC 0x85/0x00: PDU 长度超出协商值]");
    QTest::newRow("header error") << 60006 << 0 << 2 << -1 << QByteArray() << QStringLiteral("[PLC 0x81/0x04: 此状态下不允许该功能，PLC 可能未开放 PUT/GET 访问]");
    QTest::newRow("broken length field") << 60010 << 0 << 2 << -1 << QByteArray() << QStringLiteral("");
    QTest::newRow("never completes") << 60009 << 0 << 8 << -1 << QByteArray() << QStringLiteral("");
    QTest::newRow("only another reference") << 60005 << 0 << 2 << -2 << QByteArray() << QStringLiteral("");
    QTest::newRow("fast acknowledge ahead of the answer") << 60022 << 2 << 3 << 0 << QByteArray::fromHex("a2a3a4") << QString();
    QTest::newRow("answer in many data units") << 60023 << 0 << 16 << 0 << QByteArray::fromHex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf") << QString();
    QTest::newRow("no such data block") << 700 << 0 << 2 << -1 << QByteArray() << QStringLiteral("[PLC 0x0A: 对象不存在]");
    QTest::newRow("silent") << 60008 << 0 << 2 << -2 << QByteArray() << QStringLiteral("");
    // The rest of the units comes while the next request waits, ahead of its answer.
    QTest::newRow("answer in data units cut at the deadline") << 60024 << 0 << 16 << -1 << QByteArray() << QString();
    QTest::newRow("no S7 PDU instead of the answer") << 60025 << 0 << 2 << -1 << QByteArray() << QString();
    QTest::newRow("no S7 PDU, then the answer, one segment") << 60026 << 2 << 2 << 0 << QByteArray::fromHex("a2a3") << QString();
    // Then the link is closed while the host is idle: see below.
    QTest::newRow("answer, then the PLC closes") << 60027 << 1 << 2 << 0 << QByteArray::fromHex("a1a2") << QString();
}

void TestS7Transport::readFaults()
{
    QFETCH(int, db);
    QFETCH(int, byteAddress);
    QFETCH(int, length);
    QFETCH(int, result);
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);
    // A PLC that has data blocks 1 and 5 only.
    sim.onPeerThread([this, db] { sim.server->setDataBlocks(db == 700 ? std::vector<int>{1, 5} : std::vector<int>()); });
    CmdSiemens_S7 t;
    QCOMPARE(t.ConnectDrive(Loopback, sim.port), 0);
    LogCapture log;
    QByteArray out;
    QCOMPARE(t.Read_area(byteAddress, length, &out, db, 0x84, "DB"), result);
    QCOMPARE(out.toHex(), data.toHex());
    const QStringList warnings = log.lines(QtWarningMsg);
    if (result == 0) {
        QVERIFY(warnings.isEmpty());
    } else {
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().startsWith(result == -1 ? QStringLiteral("lib[Siemens_S7]报文返回长度错误 ")
                                                         : QStringLiteral("lib[Siemens_S7]返回的报文长度为0 ")));
        if (reason.isEmpty())
            QVERIFY(!warnings.first().contains(QStringLiteral("[PLC ")));
        else
            QVERIFY2(warnings.first().endsWith(QLatin1Char(' ') + reason), qPrintable(warnings.first()));
    }
    if (db == S7Server::AnswerThenCloseDb) {
        // Nothing goes into a link the PLC has closed, and it counts as down from then on.
        QVERIFY(peerHasClosed(t.tcpSocket));
        const int jobs = sim.server->jobCount();
        QCOMPARE(t.Read_area(4, 2, &out, 5, 0x84, "DB5.DBW4"), -3);
        QCOMPARE(t.WriteHoldingRegistersVarea(5, 32, 1, QByteArray::fromHex("01"), 0x84, "DB5.DBB4"), -3);
        QCOMPARE(t.Connection_status(), -3);
        QCOMPARE(sim.server->jobCount(), jobs);
        return;
    }
    // The link survives every fault, and the next request gets its own answer.
    out.clear();
    QCOMPARE(t.Read_area(4, 2, &out, 5, 0x84, "DB5.DBW4"), 0);
    QCOMPARE(out.toHex(), QByteArray("a4a5"));
}

void TestS7Transport::leftoverAnswerIsDropped()
{
    CmdSiemens_S7 t;
    QCOMPARE(t.ConnectDrive(Loopback, sim.port), 0);
    QByteArray out;
    QCOMPARE(t.Read_area(0, 2, &out, 60004, 0x84, "twice"), 0);
    QCOMPARE(out.toHex(), QByteArray("a0a1"));
    out.clear();
    QCOMPARE(t.Read_area(8, 2, &out, 1, 0x84, "DB1.DBW8"), 0);
    QCOMPARE(out.toHex(), QByteArray("a8a9"));
}

void TestS7Transport::writeFaults_data()
{
    QTest::addColumn<bool>("bitItem");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("bitAddress");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("warnings");
    QTest::newRow("bytes: done") << false << 7 << 0 << 0 << 0;
    QTest::newRow("bytes: out of range") << false << 7 << 65535 * 8 << -1 << 1;
    QTest::newRow("bytes: header error") << false << 60006 << 0 << -1 << 1;
    QTest::newRow("bytes: split answer") << false << 60002 << 0 << 0 << 0;
    QTest::newRow("bytes: broken frame") << false << 60010 << 0 << -1 << 1;
    QTest::newRow("bit: done") << true << 7 << 5 << 0 << 0;
    QTest::newRow("bytes: no answer") << false << 60008 << 0 << -2 << 1;
    QTest::newRow("bit: header error") << true << 60006 << 0 << -1 << 1;
    QTest::newRow("bit: broken frame") << true << 60010 << 0 << -1 << 1;
    QTest::newRow("bit: no answer") << true << 60008 << 0 << -2 << 1;
    QTest::newRow("bit: no S7 PDU as the answer") << true << 60025 << 0 << -1 << 1;
    // Then, while the host is idle, the link closes: the next write is not sent.
    QTest::newRow("bit: answered, then the PLC closes") << true << 60027 << 0 << 0 << 0;
}

void TestS7Transport::writeFaults()
{
    QFETCH(bool, bitItem);
    QFETCH(int, db);
    QFETCH(int, bitAddress);
    QFETCH(int, result);
    QFETCH(int, warnings);
    CmdSiemens_S7 t;
    QCOMPARE(t.ConnectDrive(Loopback, sim.port), 0);
    LogCapture log;
    const int r = bitItem ? t.WriteCoilsQarea(db, bitAddress, 1, QByteArray::fromHex("01"), 0x84, "DB")
                          : t.WriteHoldingRegistersVarea(db, bitAddress, 2, QByteArray::fromHex("1234"), 0x84, "DB");
    QCOMPARE(r, result);
    const QStringList lines = log.lines(QtWarningMsg);
    QCOMPARE(lines.size(), warnings);
    // Bit writes warn as byte writes do: a refused answer, and no answer.
    const QString warning = result == -1 ? QStringLiteral("lib[Siemens_S7]报文返回长度错误 127.0.0.1:%1 Area=DB  len = ")
                                         : QStringLiteral("lib[Siemens_S7]返回的报文长度为0 127.0.0.1:%1 Area=DB  len = ");
    if (warnings > 0)
        QVERIFY2(lines.first().startsWith(warning.arg(sim.port)), qPrintable(lines.first()));
    if (db == S7Server::AnswerThenCloseDb) {
        QVERIFY(peerHasClosed(t.tcpSocket));
        const int jobs = sim.server->jobCount();
        QCOMPARE(t.WriteCoilsQarea(db, bitAddress, 1, QByteArray::fromHex("01"), 0x84, "DB"), -3);
        QCOMPARE(sim.server->jobCount(), jobs);
        return;
    }
    // A write never carries bytes the caller did not give.
    QCOMPARE(t.WriteHoldingRegistersVarea(7, 0, 3, QByteArray::fromHex("1234"), 0x84, "DB7"), -1);
}

void TestS7Transport::severalConnectionsAtOnce()
{
    CmdSiemens_S7 a;
    CmdSiemens_S7 b;
    QCOMPARE(a.ConnectDrive(Loopback, sim.port), 0);
    QCOMPARE(b.ConnectDrive(Loopback, sim.port), 0);
    QCOMPARE(a.WriteHoldingRegistersVarea(0, 200 * 8, 1, QByteArray::fromHex("5a"), 0x83, "M200"), 0);
    const QByteArray referenceOfA = sim.server->lastJob().mid(11, 2);
    QByteArray out;
    QCOMPARE(b.Read_area(200, 1, &out, 0, 0x83, "M200"), 0);
    // Each object draws its references from a start of its own (equal by chance once in 65536).
    QVERIFY(sim.server->lastJob().mid(11, 2) != referenceOfA);
    QCOMPARE(out.toHex(), QByteArray("5a"));
    QCOMPARE(a.Read_area(200, 1, &out, 0, 0x83, "M200"), 0);
    QCOMPARE(out.toHex(), QByteArray("5a5a"));
}

QTEST_GUILESS_MAIN(TestS7Transport)
#include "tst_s7_transport.moc"
