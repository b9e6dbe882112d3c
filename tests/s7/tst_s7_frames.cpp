// ISO-on-TCP frames built and judged on bytes alone.
#include <QtTest>

#include "IsoTcpFrames.h"

class TestS7Frames : public QObject
{
    Q_OBJECT
private slots:
    void framer_data();
    void framer();
    void handshakeRequests();
    void handshakeAnswers_data();
    void handshakeAnswers();
    void grantedPdu_data();
    void grantedPdu();
    void requests_data();
    void requests();
    void readAnswers_data();
    void readAnswers();
    void writeAnswers_data();
    void writeAnswers();
    void referenceMatching();
};

void TestS7Frames::framer_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("length");
    QTest::newRow("empty") << QByteArray() << IsoTcp::NeedMore;
    QTest::newRow("version only") << QByteArray::fromHex("03") << IsoTcp::NeedMore;
    QTest::newRow("three header bytes") << QByteArray::fromHex("030000") << IsoTcp::NeedMore;
    QTest::newRow("shortest frame") << QByteArray::fromHex("03000007") << 7;
    QTest::newRow("followed by more") << QByteArray::fromHex("0300001611e0000000010003000007") << 22;
    QTest::newRow("length 6") << QByteArray::fromHex("03000006") << IsoTcp::Broken;
    QTest::newRow("length 0") << QByteArray::fromHex("03000000") << IsoTcp::Broken;
    QTest::newRow("largest allowed") << QByteArray::fromHex("03000404") << 1028;
    QTest::newRow("above the limit") << QByteArray::fromHex("03000405") << IsoTcp::Broken;
    QTest::newRow("wrong version") << QByteArray::fromHex("02000010") << IsoTcp::Broken;
    QTest::newRow("reserved byte set") << QByteArray::fromHex("03") + QByteArray::fromHex("01") << IsoTcp::Broken;
}

void TestS7Frames::framer()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, length);
    QCOMPARE(IsoTcp::frameLength(buffer), length);
}

void TestS7Frames::handshakeRequests()
{
    QCOMPARE(IsoTcp::connectionRequest().toHex(),
             QByteArray("0300001611e00000000100c0010ac1021000c2020300"));
    QCOMPARE(IsoTcp::setupRequest().toHex(),
             QByteArray("0300001902f08032010000ccc1000800" "00f0000001000103c0"));
}

void TestS7Frames::handshakeAnswers_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("setup");
    QTest::newRow("connection confirm")
        << QByteArray::fromHex("0300001611d00001000100c0010ac1021000c2020300") << true << false;
    QTest::newRow("disconnect request") << QByteArray::fromHex("0300000b068000000001") << false << false;
    QTest::newRow("too short") << QByteArray::fromHex("030000") << false << false;
    QTest::newRow("set-up ack")
        << QByteArray::fromHex("0300001b02f080320300000000000800000000f0000001000103c0") << false << true;
    QTest::newRow("set-up ack with error class")
        << QByteArray::fromHex("0300001302f080320300000000000000008104") << false << false;
    QTest::newRow("ack of another function")
        << QByteArray::fromHex("0300001b02f080320300000000000800000000040000010001" "03c0") << false << false;
    QTest::newRow("job instead of ack")
        << QByteArray::fromHex("0300001902f08032010000ccc1000800" "00f0000001000103c0") << false << false;
}

void TestS7Frames::handshakeAnswers()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, confirm);
    QFETCH(bool, setup);
    QCOMPARE(IsoTcp::isConnectionConfirm(frame), confirm);
    QCOMPARE(IsoTcp::isSetupAnswer(frame), setup);
}

void TestS7Frames::grantedPdu_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("granted");
    // Set-up ack-data: header with parameter length 8, then F0 00, 2 x parallel jobs, PDU length.
    const QByteArray head = QByteArray::fromHex("0300001b02f08032030000000000080000" "0000" "f000" "0001" "0001");
    QTest::newRow("960 as asked") << head + QByteArray::fromHex("03c0") << 960;
    QTest::newRow("480") << head + QByteArray::fromHex("01e0") << 480;
    QTest::newRow("240") << head + QByteArray::fromHex("00f0") << 240;
    QTest::newRow("odd 241") << head + QByteArray::fromHex("00f1") << 241;
    QTest::newRow("smallest usable: one byte per job") << head + QByteArray::fromHex("001d") << 29;
    QTest::newRow("too small for a one-byte write") << head + QByteArray::fromHex("001c") << 0;
    QTest::newRow("nothing") << head + QByteArray::fromHex("0000") << 0;
    QTest::newRow("more than asked") << head + QByteArray::fromHex("03c1") << 0;
    QTest::newRow("far more than asked") << head + QByteArray::fromHex("ffff") << 0;
    QTest::newRow("no PDU length") << head << 0;
    QTest::newRow("half a PDU length") << head + QByteArray::fromHex("03") << 0;
    QTest::newRow("error class") << QByteArray::fromHex("0300001b02f08032030000000000080000" "8104" "f000" "0001" "0001" "03c0") << 0;
    QTest::newRow("not a set-up ack") << QByteArray::fromHex("0300001b02f08032030000000000080000" "0000" "0400" "0001" "0001" "03c0") << 0;
}

void TestS7Frames::grantedPdu()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, granted);
    const QByteArray exact(frame.constData(), frame.size());
    QCOMPARE(IsoTcp::grantedPduLength(exact), granted);
}

void TestS7Frames::requests_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    const quint16 ref = IsoTcp::referenceFrom(0x1234, 0x5678);     // only the low bytes count
    QTest::newRow("read V100, 4 bytes")
        << IsoTcp::readRequest(ref, 0x84, 0, 100, 4)
        << QByteArray::fromHex("0300001f02f080320100003478000e00000401120a100200040001840003" "20");
    QTest::newRow("read DB5")
        << IsoTcp::readRequest(ref, 0x84, 5, 100, 4)
        << QByteArray::fromHex("0300001f02f080320100003478000e00000401120a100200040005840003" "20");
    QTest::newRow("read flags ignore the block number")
        << IsoTcp::readRequest(ref, 0x83, 5, 100, 4)
        << QByteArray::fromHex("0300001f02f080320100003478000e00000401120a100200040000830003" "20");
    QTest::newRow("byte write DB5.DBB10")
        << IsoTcp::writeRequest(ref, 0x84, 5, 80, S7Pdu::ItemSize::Byte, QByteArray::fromHex("abcd"))
        << QByteArray::fromHex("0300002502f080320100003478000e00060501120a1002000200058400005000040010abcd");
    QTest::newRow("bit write Q0.3")
        << IsoTcp::writeRequest(ref, 0x82, 0, 3, S7Pdu::ItemSize::Bit, QByteArray::fromHex("01"))
        << QByteArray::fromHex("0300002402f080320100003478000e00050501120a100100010000820000030003000101");
    const QByteArray big = IsoTcp::writeRequest(ref, 0x84, 1, 0, S7Pdu::ItemSize::Byte, QByteArray(300, '\x11'));
    QTest::newRow("300-byte write: TPKT length") << big.mid(2, 2) << QByteArray::fromHex("014f");
    QTest::newRow("300-byte write: data length") << big.mid(15, 2) << QByteArray::fromHex("0130");
}

void TestS7Frames::requests()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(), expected.toHex());
}

void TestS7Frames::readAnswers_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<bool>("good");
    QTest::addColumn<QByteArray>("data");
    const QByteArray head = QByteArray::fromHex("0300001d02f08032030000347800020008000004" "01");
    QTest::newRow("four bytes") << head + QByteArray::fromHex("ff040020deadbeef") << 4 << true
                                << QByteArray::fromHex("deadbeef");
    QTest::newRow("error item")
        << QByteArray::fromHex("0300001902f0803203000034780002000400000401" "05000000") << 4 << false << QByteArray();
    QTest::newRow("error item has the length of a zero-byte read")
        << QByteArray::fromHex("0300001902f0803203000034780002000400000401" "0a000000") << 0 << false << QByteArray();
    QTest::newRow("zero bytes") << QByteArray::fromHex("0300001902f0803203000034780002000400000401" "ff040000")
                                << 0 << true << QByteArray();
    QTest::newRow("header error")
        << QByteArray::fromHex("0300001d02f08032030000347800020008810404" "01ff040020deadbeef") << 4 << false << QByteArray();
    QTest::newRow("one byte short") << head + QByteArray::fromHex("ff040020deadbe") << 4 << false << QByteArray();
    QTest::newRow("item length disagrees") << head + QByteArray::fromHex("ff040018deadbeef") << 4 << false << QByteArray();
}

void TestS7Frames::readAnswers()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, byteCount);
    QFETCH(bool, good);
    QFETCH(QByteArray, data);
    QByteArray out = QByteArray::fromHex("aa");
    QCOMPARE(IsoTcp::judgeReadAnswer(frame, byteCount, &out), good);
    QCOMPARE(out.toHex(), (QByteArray::fromHex("aa") + data).toHex());
}

void TestS7Frames::writeAnswers_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("good");
    QTest::newRow("done") << QByteArray::fromHex("0300001602f0803203000034780002000100000501ff") << true;
    QTest::newRow("object does not exist") << QByteArray::fromHex("0300001602f08032030000347800020001000005010a") << false;
    QTest::newRow("header error") << QByteArray::fromHex("0300001602f0803203000034780002000181040501ff") << false;
    QTest::newRow("21 bytes") << QByteArray::fromHex("0300001502f0803203000034780002000100000501") << false;
    QTest::newRow("read ack") << QByteArray::fromHex("0300001602f0803203000034780002000100000401ff") << false;
}

void TestS7Frames::writeAnswers()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, good);
    QCOMPARE(IsoTcp::judgeWriteAnswer(frame), good);
}

void TestS7Frames::referenceMatching()
{
    const QByteArray request = IsoTcp::readRequest(0x3478, 0x83, 0, 0, 2);
    const QByteArray answer = QByteArray::fromHex("0300001b02f0803203000034780002000600000401ff0400100102");
    QVERIFY(IsoTcp::answersRequest(request, answer));
    QByteArray other = answer;
    other[12] = char(0x79);
    QVERIFY(!IsoTcp::answersRequest(request, other));
    // Frames without an S7 PDU are judged by the caller, not dropped as another request's.
    QVERIFY(IsoTcp::answersRequest(IsoTcp::connectionRequest(),
                                   QByteArray::fromHex("0300001611d00001000100c0010ac1021000c2020300")));
    QVERIFY(IsoTcp::answersRequest(request, QByteArray::fromHex("0300000b068000000001")));
    QByteArray notS7 = other;
    notS7[7] = char(0x31);      // the protocol id: the bytes at the reference's place are no reference
    QVERIFY(IsoTcp::answersRequest(request, notS7));
}

QTEST_GUILESS_MAIN(TestS7Frames)
#include "tst_s7_frames.moc"
