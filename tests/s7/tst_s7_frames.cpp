// ISO-on-TCP frames built and judged on bytes alone.
#include <QtTest>

#include "IsoTcpFrames.h"
#include "S7ConnectionText.h"
#include "S7Refusal.h"

namespace {

// A COTP data unit on the wire, written out: TPKT, 02 F0, the end-of-TSDU bit, the bytes.
QByteArray unit(const char *hex, bool last)
{
    const QByteArray piece = QByteArray::fromHex(hex);
    QByteArray frame = QByteArray::fromHex("0300000002f000") + piece;
    frame[3] = char(frame.size());
    frame[6] = char(last ? 0x80 : 0x00);
    return frame;
}

} // namespace

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
    void connectionTexts_data();
    void connectionTexts();
    void tsduJoining_data();
    void tsduJoining();
    void tpduSizes_data();
    void tpduSizes();
    void tpduSplitting_data();
    void tpduSplitting();
    void refusalReasons_data();
    void refusalReasons();
};

void TestS7Frames::framer_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("resync");    // where a search from the second byte on finds a frame's start
    QTest::newRow("empty") << QByteArray() << IsoTcp::NeedMore << 0;
    QTest::newRow("version only") << QByteArray::fromHex("03") << IsoTcp::NeedMore << 1;
    QTest::newRow("three header bytes") << QByteArray::fromHex("030000") << IsoTcp::NeedMore << 3;
    QTest::newRow("shortest frame") << QByteArray::fromHex("03000007") << 7 << 4;
    QTest::newRow("followed by more") << QByteArray::fromHex("0300001611e0000000010003000007") << 22 << 11;
    QTest::newRow("length 6") << QByteArray::fromHex("03000006") << IsoTcp::Broken << 4;
    QTest::newRow("length 0") << QByteArray::fromHex("03000000") << IsoTcp::Broken << 4;
    QTest::newRow("largest allowed") << QByteArray::fromHex("03000404") << 1028 << 4;
    QTest::newRow("above the limit") << QByteArray::fromHex("03000405") << IsoTcp::Broken << 4;
    QTest::newRow("wrong version") << QByteArray::fromHex("02000010") << IsoTcp::Broken << 4;
    QTest::newRow("reserved byte set") << QByteArray::fromHex("03") + QByteArray::fromHex("01") << IsoTcp::Broken << 2;
    // Resynchronising: a data unit, a confirm or a disconnect request is a start; bytes that only
    // begin like a TPKT are not.
    QTest::newRow("rest of a unit, then a data unit") << QByteArray::fromHex("a1a2a30300000b02f08032030001")
                                                      << IsoTcp::Broken << 3;
    QTest::newRow("rest of a unit, then a disconnect request") << QByteArray::fromHex("ff0300000b068000000001")
                                                               << IsoTcp::Broken << 1;
    QTest::newRow("a data unit's indicator wrong") << QByteArray::fromHex("ff0300000b03f08032ff00") << IsoTcp::Broken << 11;
    QTest::newRow("no COTP unit type") << QByteArray::fromHex("ff0300000b02000000") << IsoTcp::Broken << 9;
    QTest::newRow("an indicator longer than the frame") << QByteArray::fromHex("ff030000080ad0000000")
                                                        << IsoTcp::Broken << 10;
    QTest::newRow("length beyond the limit") << QByteArray::fromHex("ff0300040502f080") << IsoTcp::Broken << 8;
    QTest::newRow("a start still too short to judge") << QByteArray::fromHex("ff0000030000") << IsoTcp::Broken << 3;
}

void TestS7Frames::framer()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, length);
    QFETCH(int, resync);
    QCOMPARE(IsoTcp::frameLength(buffer), length);
    const QByteArray exact(buffer.constData(), buffer.size());
    QCOMPARE(IsoTcp::nextFrameStart(exact, 1), resync);
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
    // An acknowledgement without data (an error) answers as well.
    QVERIFY(IsoTcp::answersRequest(request, QByteArray::fromHex("0300001302f080320200003478000000008104")));
    // A connection request is answered by a connection unit, a job never.
    const QByteArray confirm = QByteArray::fromHex("0300001611d00001000100c0010ac1021000c2020300");
    QVERIFY(IsoTcp::answersRequest(IsoTcp::connectionRequest(), confirm));
    QVERIFY(!IsoTcp::answersRequest(request, confirm));
    QVERIFY(!IsoTcp::answersRequest(request, QByteArray::fromHex("0300000b068000000001")));
    QVERIFY(!IsoTcp::carriesS7Pdu(confirm));
    // Bytes with the reference in its place that are no S7 acknowledgement: another protocol id,
    // the job itself (an echo), a header cut short.
    QByteArray notS7 = answer;
    notS7[7] = char(0x31);
    QVERIFY(!IsoTcp::answersRequest(request, notS7));
    QVERIFY(!IsoTcp::carriesS7Pdu(notS7));
    QVERIFY(!IsoTcp::answersRequest(request, request));
    QVERIFY(IsoTcp::carriesS7Pdu(request));
    QVERIFY(!IsoTcp::answersRequest(request, answer.left(18)));
}

void TestS7Frames::connectionTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("request");     // hex; empty: refused
    QTest::addColumn<QString>("refused");        // the field the warning names
    const auto cr = [](const char *local, const char *remote) {
        return QByteArray("0300001611e00000000100c0010ac102") + local + "c202" + remote;
    };
    QTest::newRow("plain") << "192.0.2.10:102" << cr("1000", "0300") << "";
    QTest::newRow("rack 0 slot 0 is the plain request") << "192.0.2.10:102,rack=0,slot=0" << cr("1000", "0300") << "";
    QTest::newRow("slot 2") << "192.0.2.10:102,rack=0,slot=2" << cr("1000", "0302") << "";
    QTest::newRow("rack 1 slot 3 pg") << "192.0.2.10:102,rack=1,slot=3,type=pg" << cr("1000", "0123") << "";
    QTest::newRow("op, keys in any case and order") << "192.0.2.10:102,SLOT=2,Type=OP" << cr("1000", "0202") << "";
    QTest::newRow("basic spelled out") << "192.0.2.10:102,type=basic" << cr("1000", "0300") << "";
    QTest::newRow("highest rack and slot") << "192.0.2.10:102,rack=7,slot=31" << cr("1000", "03ff") << "";
    QTest::newRow("both TSAPs") << "192.0.2.10:102,local-tsap=0300,remote-tsap=0200" << cr("0300", "0200") << "";
    QTest::newRow("remote TSAP alone") << "192.0.2.10:102,remote-tsap=4D57" << cr("1000", "4d57") << "";
    QTest::newRow("local TSAP alone") << "192.0.2.10:102,local-tsap=0100" << cr("0100", "0300") << "";
    QTest::newRow("rack 8") << "192.0.2.10:102,rack=8" << QByteArray() << "rack=8";
    QTest::newRow("slot 32") << "192.0.2.10:102,slot=32" << QByteArray() << "slot=32";
    QTest::newRow("slot negative") << "192.0.2.10:102,slot=-1" << QByteArray() << "slot=-1";
    QTest::newRow("slot not a number") << "192.0.2.10:102,slot=2a" << QByteArray() << "slot=2a";
    QTest::newRow("empty value") << "192.0.2.10:102,slot=" << QByteArray() << "slot=";
    QTest::newRow("unknown type") << "192.0.2.10:102,type=plc" << QByteArray() << "type=plc";
    QTest::newRow("unknown key") << "192.0.2.10:102,rock=1" << QByteArray() << "rock=1";
    QTest::newRow("a field twice") << "192.0.2.10:102,rack=1,Rack=1" << QByteArray() << "Rack=1";
    QTest::newRow("forms mixed") << "192.0.2.10:102,rack=0,remote-tsap=0200" << QByteArray() << "remote-tsap=0200";
    QTest::newRow("three hex digits") << "192.0.2.10:102,remote-tsap=020" << QByteArray() << "remote-tsap=020";
    QTest::newRow("five hex digits") << "192.0.2.10:102,remote-tsap=02000" << QByteArray() << "remote-tsap=02000";
    QTest::newRow("no hex digit") << "192.0.2.10:102,local-tsap=0g00" << QByteArray() << "local-tsap=0g00";
    QTest::newRow("empty field") << "192.0.2.10:102,slot=2," << QByteArray() << "=";
}

void TestS7Frames::connectionTexts()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, request);
    QFETCH(QString, refused);
    const S7ConnectionText::Parsed p = S7ConnectionText::parse(text);
    QCOMPARE(p.valid, !request.isEmpty());
    if (p.valid) {
        QCOMPARE(p.ip, QStringLiteral("192.0.2.10"));
        QCOMPARE(p.port, 102);
        QCOMPARE(IsoTcp::connectionRequest(p.localTsap, p.remoteTsap).toHex(), request);
    } else {
        QVERIFY(p.fieldRefused);
        QCOMPARE(p.refusedKey + QLatin1Char('=') + p.refusedValue, refused);
    }
}

void TestS7Frames::tsduJoining_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("maxPdu");
    QTest::addColumn<int>("length");            // of the stream taken, or NeedMore / Broken
    QTest::addColumn<QByteArray>("frame");      // the whole PDU as one data frame; empty: none
    const QByteArray whole = QByteArray::fromHex("0300000b02f08032030001");
    QTest::newRow("one unit") << whole << 960 << 11 << whole;
    QTest::newRow("two units") << unit("3203", false) + unit("0001", true) << 960 << 18 << whole;
    QTest::newRow("three units") << unit("32", false) + unit("03", false) + unit("0001", true) << 960 << 25 << whole;
    QByteArray ten, tenPdu;
    for (int i = 0; i < 10; ++i) {
        const QByteArray piece = QByteArray(1, char(i)).toHex();
        ten += unit(piece.constData(), i == 9);
        tenPdu += char(i);
    }
    QTest::newRow("ten units") << ten << 960 << 80 << IsoTcp::wrapPdu(tenPdu);
    QTest::newRow("empty units between") << unit("32", false) + unit("", false) + unit("", false) + unit("030001", true)
                                         << 960 << 32 << whole;
    QTest::newRow("fast acknowledge alone is only taken off") << unit("", false) << 960 << 7 << QByteArray();
    QTest::newRow("fast acknowledge ahead of an answer") << unit("", false) + whole << 960 << 7 << QByteArray();
    QTest::newRow("the next TSDU is left in the stream") << whole + unit("ff", false) << 960 << 11 << whole;
    QTest::newRow("last unit not there yet") << unit("3203", false) << 960 << IsoTcp::NeedMore << QByteArray();
    QTest::newRow("last unit partly there") << unit("3203", false) + QByteArray::fromHex("030000") << 960
                                            << IsoTcp::NeedMore << QByteArray();
    QTest::newRow("exactly the granted PDU") << unit("32", false) + unit("030001", true) << 4 << 18 << whole;
    QTest::newRow("past the granted PDU") << unit("3203", false) + unit("000102", true) << 4 << IsoTcp::Broken << QByteArray();
    QTest::newRow("no data unit in the middle") << unit("32", false) + QByteArray::fromHex("0300000702e000") << 960
                                                << IsoTcp::Broken << QByteArray();
    QTest::newRow("a confirm alone comes up as it is") << QByteArray::fromHex("0300000702d000") << 960 << 7
                                                       << QByteArray::fromHex("0300000702d000");
    QTest::newRow("no TPKT") << QByteArray::fromHex("0400000b02f08032030001") << 960 << IsoTcp::Broken << QByteArray();
    QTest::newRow("no TPKT after a first unit") << unit("32", false) + QByteArray::fromHex("0400000802f08003") << 960
                                                << IsoTcp::Broken << QByteArray();
}

void TestS7Frames::tsduJoining()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, maxPdu);
    QFETCH(int, length);
    QFETCH(QByteArray, frame);
    const IsoTcp::Tsdu next = IsoTcp::nextTsdu(stream, maxPdu);
    QCOMPARE(next.length, length);
    QCOMPARE(next.frame.toHex(), frame.toHex());
}

void TestS7Frames::tpduSizes_data()
{
    QTest::addColumn<QByteArray>("confirm");
    QTest::addColumn<int>("size");
    QTest::newRow("1024 as asked") << QByteArray::fromHex("0300001611d00001000100c0010ac1021000c2020300") << 1024;
    QTest::newRow("256") << QByteArray::fromHex("0300001611d00001000100c00108c1021000c2020300") << 256;
    QTest::newRow("128") << QByteArray::fromHex("0300001611d00001000100c00107c1021000c2020300") << 128;
    QTest::newRow("after the TSAPs") << QByteArray::fromHex("0300001611d00001000100c1021000c2020300c00109") << 512;
    QTest::newRow("absent: 128") << QByteArray::fromHex("030000130ed00001000100c1021000c2020300") << 128;
    QTest::newRow("no size class 0 knows: 128") << QByteArray::fromHex("0300001611d00001000100c0010ec1021000c2020300") << 128;
    QTest::newRow("beyond what LI counts: 128") << QByteArray::fromHex("030000130ed00001000100c1021000c2020300c00109") << 128;
}

void TestS7Frames::tpduSizes()
{
    QFETCH(QByteArray, confirm);
    QFETCH(int, size);
    QCOMPARE(IsoTcp::grantedTpduSize(confirm), size);
}

void TestS7Frames::tpduSplitting_data()
{
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<int>("tpdu");
    QTest::addColumn<QByteArray>("wire");
    const QByteArray eleven = QByteArray::fromHex("0102030405060708090a0b");
    QTest::newRow("fits: as one unit") << eleven << 14 << unit("0102030405060708090a0b", true);
    QTest::newRow("one byte too many: two units") << eleven << 13
        << unit("0102030405060708090a", false) + unit("0b", true);
    QTest::newRow("three units") << eleven << 8
        << unit("0102030405", false) + unit("060708090a", false) + unit("0b", true);
    const QByteArray job = QByteArray(125, char(0x5A));
    QTest::newRow("125 bytes in a TPDU of 128") << job << 128 << IsoTcp::wrapPdu(job);
    QTest::newRow("126 bytes in a TPDU of 128") << job + 'Z' << 128
        << unit(QByteArray(job).toHex().constData(), false) + unit("5a", true);
}

void TestS7Frames::tpduSplitting()
{
    QFETCH(QByteArray, pdu);
    QFETCH(int, tpdu);
    QFETCH(QByteArray, wire);
    QCOMPARE(IsoTcp::splitForTpdu(IsoTcp::wrapPdu(pdu), tpdu).toHex(), wire.toHex());
}

void TestS7Frames::refusalReasons_data()
{
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<QString>("reason");
    const auto readAck = [](const char *item) {
        return QByteArray::fromHex("320300000001000200040000" "0401") + QByteArray::fromHex(item);
    };
    QTest::newRow("PUT/GET off, read") << QByteArray::fromHex("320300000001000000008104")
        << "PLC: 0x81/0x04 function not allowed, PUT/GET access may be off in the PLC";
    QTest::newRow("PUT/GET off, write") << QByteArray::fromHex("320300000001000000008304")
        << "PLC: 0x83/0x04 function not allowed, PUT/GET access may be off in the PLC";
    QTest::newRow("PDU size") << QByteArray::fromHex("320300000001000000008500") << "PLC: 0x85/0x00 PDU larger than negotiated";
    QTest::newRow("class alone") << QByteArray::fromHex("320200000001000000008701") << "PLC: 0x87/0x01 access error";
    QTest::newRow("unknown class") << QByteArray::fromHex("320300000001000000008a01") << "PLC: 0x8A/0x01 unknown error";
    QTest::newRow("no data block") << readAck("0a000000") << "PLC: 0x0A object does not exist";
    QTest::newRow("past the block's end") << readAck("05000000") << "PLC: 0x05 address out of range";
    QTest::newRow("access denied") << readAck("03000000") << "PLC: 0x03 access to the object denied";
    QTest::newRow("type not supported") << readAck("06000000") << "PLC: 0x06 data type not supported";
    QTest::newRow("type inconsistent") << readAck("07000000") << "PLC: 0x07 data type or length inconsistent";
    QTest::newRow("write item") << QByteArray::fromHex("3203000000010002000100000501" "0a") << "PLC: 0x0A object does not exist";
    QTest::newRow("good read") << readAck("ff0400082a") << "";
    QTest::newRow("a job, not an answer") << QByteArray::fromHex("3201000000010002000400000401ff") << "";
    QTest::newRow("too short") << QByteArray::fromHex("3203000000010000") << "";
}

void TestS7Frames::refusalReasons()
{
    QFETCH(QByteArray, pdu);
    QFETCH(QString, reason);
    const S7Refusal::Reason r = S7Refusal::of(pdu);
    QCOMPARE(S7Refusal::describe(r), reason);
    // What the warning line says is what a host tool reads back from it.
    QCOMPARE(S7Refusal::describe(S7Refusal::fromWarning(QStringLiteral("line") + S7Refusal::warningSuffix(r))), reason);
}

QTEST_GUILESS_MAIN(TestS7Frames)
#include "tst_s7_frames.moc"
