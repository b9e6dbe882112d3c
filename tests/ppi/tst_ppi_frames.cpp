// The PPI frames from bytes alone: building, framing a byte stream, judging answers.
#include <QtTest>

#include "CmdSiemens_PPI.h"
#include "PpiFrames.h"
#include "SerialSettings.h"

class TestPpiFrames : public QObject
{
    Q_OBJECT
private slots:
    void requestFrames_data();
    void requestFrames();
    void checksum();
    void missingBytes_data();
    void missingBytes();
    void parseRejectsDamage_data();
    void parseRejectsDamage();
    void readAnswer_data();
    void readAnswer();
    void writeAnswer_data();
    void writeAnswer();
    void firstReplyAcceptance_data();
    void firstReplyAcceptance();
    void frameLimits();
    void junkAndFrameLength_data();
    void junkAndFrameLength();
    void scanStream_data();
    void scanStream();
    void replyClassification_data();
    void replyClassification();
    void serialSettings_data();
    void serialSettings();
};

void TestPpiFrames::requestFrames_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("greeting station 2") << PpiFrames::greeting(2) << QByteArray::fromHex("100200494b16");
    QTest::newRow("greeting station 2 from master 1") << PpiFrames::greeting(2, 1) << QByteArray::fromHex("100201494c16");
    QTest::newRow("poll station 2") << PpiFrames::poll(2, 0) << QByteArray::fromHex("1002005c5e16");
    QTest::newRow("read V100 2 bytes")
        << PpiFrames::readRequest(2, 0, 0x84, 1, 100, 2)
        << QByteArray::fromHex("681b1b6802006c320100000000000e00000401120a10020002000184000320" "8c16");
    QTest::newRow("write V100 0x55")
        << PpiFrames::writeRequest(2, 0, 0x84, 1, 800, false, QByteArray::fromHex("55"))
        << QByteArray::fromHex("682020680200" "7c320100000000000e00050501120a1002000100018400032000040008" "55" "0216");
    // A bit item: transport size 0x01, data transport size 0x03, the length counted in bits.
    QTest::newRow("write bit V100.3")
        << PpiFrames::writeRequest(2, 0, 0x84, 1, 803, true, QByteArray::fromHex("01"))
        << QByteArray::fromHex("6820206802007c320100000000000e00050501120a100100010001840003230003000101" "a816");
    // Timer 37 by its number: transport size and area 0x1F, address 37, not 37 * 8.
    QTest::newRow("read T37")
        << PpiFrames::elementReadRequest(2, 0, 0x1F, 37, 1)
        << QByteArray::fromHex("681b1b6802006c320100000000000e00000401120a101f000100001f0000254416");
    // The data block travels in 16 bits: DB 300 must not become DB 44.
    QTest::newRow("read DB300")
        << PpiFrames::readRequest(2, 0, 0x84, 300, 0, 1)
        << QByteArray::fromHex("681b1b6802006c320100000000000e00000401120a10020001012c84000000" "9416");
}

void TestPpiFrames::requestFrames()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built.toHex(), expected.toHex());
    QCOMPARE(PpiFrames::missingBytes(built), 0);
    QVERIFY(PpiFrames::parse(built).kind != PpiFrames::Kind::Invalid);
}

void TestPpiFrames::checksum()
{
    CmdSiemens_PPI link;
    QCOMPARE(int(link.cs_Check(QByteArray::fromHex("020049"), 4)), 0x4B);
    QCOMPARE(int(link.cs_Check(QByteArray::fromHex("020049"), 0)), 0);
    QCOMPARE(int(link.cs_Check(QByteArray(300, char(0xFF)), 255)), (255 * 255) % 256);
}

void TestPpiFrames::missingBytes_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("missing");
    QTest::newRow("nothing yet") << QByteArray() << 1;
    QTest::newRow("short ack") << QByteArray::fromHex("e5") << 0;
    QTest::newRow("ack then more") << QByteArray::fromHex("e510") << 0;
    QTest::newRow("fixed, 2 of 6") << QByteArray::fromHex("1000") << 4;
    QTest::newRow("fixed whole") << QByteArray::fromHex("100002000216") << 0;
    QTest::newRow("variable, start only") << QByteArray::fromHex("68") << 3;
    QTest::newRow("variable, header") << QByteArray::fromHex("68050568") << 7;
    QTest::newRow("variable whole") << QByteArray::fromHex("680303680002080a16") << 0;
    QTest::newRow("variable, LE differ") << QByteArray::fromHex("680506") << -1;
    QTest::newRow("variable, no second 68") << QByteArray::fromHex("68050500") << -1;
    QTest::newRow("variable, LE below 3") << QByteArray::fromHex("6802026800") << -1;
    QTest::newRow("garbage") << QByteArray::fromHex("ff00aa55") << -1;
}

void TestPpiFrames::missingBytes()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, missing);
    QCOMPARE(PpiFrames::missingBytes(buffer), missing);
}

void TestPpiFrames::parseRejectsDamage_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("valid");
    QTest::newRow("fixed ok") << QByteArray::fromHex("100002000216") << true;
    QTest::newRow("fixed bad fcs") << QByteArray::fromHex("100002000316") << false;
    QTest::newRow("fixed bad end") << QByteArray::fromHex("100002000217") << false;
    QTest::newRow("variable ok") << QByteArray::fromHex("680303680002080a16") << true;
    QTest::newRow("variable bad fcs") << QByteArray::fromHex("680303680002080b16") << false;
    QTest::newRow("variable bad end") << QByteArray::fromHex("680303680002080a00") << false;
    QTest::newRow("variable incomplete") << QByteArray::fromHex("680303680002080a") << false;
}

void TestPpiFrames::parseRejectsDamage()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, valid);
    QCOMPARE(PpiFrames::parse(frame).kind != PpiFrames::Kind::Invalid, valid);
}

// An S7 read answer for station 2: ack header, 04 01, item (return code, transport, bits, data).
static QByteArray readAck(const QByteArray &item, int station = 2)
{
    QByteArray pdu = QByteArray::fromHex("32030000" "0000" "0002");
    pdu.append(char(0));
    pdu.append(char(item.size()));      // data length
    pdu.append(QByteArray::fromHex("0000" "0401"));
    pdu.append(item);
    return PpiFrames::variableFrame(0, station, 0x08, pdu);
}

void TestPpiFrames::readAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("data");
    const QByteArray good = readAck(QByteArray::fromHex("ff040010abcd"));
    QTest::newRow("two bytes") << good << 0 << QByteArray::fromHex("abcd");
    QTest::newRow("length field says 1 byte") << readAck(QByteArray::fromHex("ff040008ab")) << -1 << QByteArray();
    QTest::newRow("error item") << readAck(QByteArray::fromHex("0a000000")) << -1 << QByteArray();
    QTest::newRow("from station 3") << readAck(QByteArray::fromHex("ff040010abcd"), 3) << -1 << QByteArray();
    QByteArray corrupted = good;
    corrupted[corrupted.size() - 3] = char(0xAC);     // a data byte changed on the line
    QTest::newRow("bad fcs") << corrupted << -1 << QByteArray();
    QTest::newRow("short ack") << QByteArray::fromHex("e5") << -1 << QByteArray();
    QTest::newRow("truncated") << good.left(good.size() - 1) << -1 << QByteArray();
}

void TestPpiFrames::readAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QFETCH(QByteArray, data);
    QByteArray out("x");
    QCOMPARE(PpiFrames::judgeReadAnswer(answer, 2, 0, 2, &out), result);
    QCOMPARE(out, QByteArray("x") + data);
}

void TestPpiFrames::writeAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    const QByteArray header = QByteArray::fromHex("320300000000000200010000" "0501");
    QTest::newRow("confirmed") << PpiFrames::variableFrame(0, 2, 8, header + QByteArray::fromHex("ff")) << 0;
    QTest::newRow("item error") << PpiFrames::variableFrame(0, 2, 8, header + QByteArray::fromHex("05")) << -1;
    QTest::newRow("header error")
        << PpiFrames::variableFrame(0, 2, 8, QByteArray::fromHex("320300000000000200018104" "0501ff")) << -1;
    QTest::newRow("read answer") << readAck(QByteArray::fromHex("ff040008ab")) << -1;
}

void TestPpiFrames::writeAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QCOMPARE(PpiFrames::judgeWriteAnswer(answer, 2, 0), result);
}

void TestPpiFrames::firstReplyAcceptance_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::newRow("short ack") << QByteArray::fromHex("e5") << 0;
    QTest::newRow("six bytes, fifth 04") << QByteArray::fromHex("100004000416") << 0;
    QTest::newRow("six bytes, fifth 02") << QByteArray::fromHex("100002000216") << 1;
    QTest::newRow("variable frame") << QByteArray::fromHex("68030368000208") << 1;
    QTest::newRow("empty") << QByteArray() << 1;
}

void TestPpiFrames::firstReplyAcceptance()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    CmdSiemens_PPI link;
    QCOMPARE(link.PPI_Rx_cheack(reply), result);
}

void TestPpiFrames::frameLimits()
{
    QCOMPARE(PpiFrames::writeRequest(2, 0, 0x84, 1, 0, false, QByteArray(224, 'a')).size(), 37 + 224);
    QVERIFY(PpiFrames::writeRequest(2, 0, 0x84, 1, 0, false, QByteArray(225, 'a')).isEmpty());
    QCOMPARE(quint8(PpiFrames::writeRequest(2, 0, 0x84, 1, 0, false, QByteArray(224, 'a')).at(1)), quint8(255));
}

void TestPpiFrames::junkAndFrameLength_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("junk");
    QTest::addColumn<int>("length");
    QTest::newRow("glitch before E5") << QByteArray::fromHex("00e5") << 1 << 0;
    QTest::newRow("E5") << QByteArray::fromHex("e5") << 0 << 1;
    QTest::newRow("garbage") << QByteArray::fromHex("ff00aa55") << 4 << 0;
    QTest::newRow("glitches before a fixed frame") << QByteArray::fromHex("ff00100002000216") << 2 << 0;
    QTest::newRow("fixed frame") << QByteArray::fromHex("100002000216e5") << 0 << 6;
    QTest::newRow("fixed frame, incomplete") << QByteArray::fromHex("10000200") << 0 << 0;
    QTest::newRow("variable frame") << QByteArray::fromHex("68030368000208" "0a16") << 0 << 9;
    QTest::newRow("variable frame, incomplete") << QByteArray::fromHex("6803036800") << 0 << 0;
    // A repeated LE that differs cannot start a frame; the resync starts at the next byte.
    QTest::newRow("LE mismatch") << QByteArray::fromHex("680304e5") << 3 << 0;
    QTest::newRow("empty") << QByteArray() << 0 << 0;
}

void TestPpiFrames::junkAndFrameLength()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, junk);
    QFETCH(int, length);
    QCOMPARE(PpiFrames::junkAtFront(buffer), junk);
    QCOMPARE(PpiFrames::frameLength(buffer), length);
}

// A shared line's frames, as a receiver takes them off its buffer delivery by delivery.
void TestPpiFrames::scanStream_data()
{
    QTest::addColumn<QByteArrayList>("deliveries");
    QTest::addColumn<QString>("frames");     // the whole frames found, in hex, in order
    QTest::addColumn<int>("pending");        // bytes left: a candidate that needs more
    const QByteArray ack = QByteArray::fromHex("e5");
    const QByteArray answer = readAck(QByteArray::fromHex("ff040010abcd"));
    const QString answerHex = QString::fromLatin1(answer.toHex());
    const struct { const char *name; const char *hex; } foreign[] = {
        {"SC", "e5"},
        {"SD1 FDL status of master 1 to station 3", "100301494d16"},
        {"SD2 job of master 1", "681b1b6802016c320100000000000e00000401120a10020002000184000320" "8d16"},
        {"SD3 data full of 10 68 E5", "a203016c1068e51068e51068a216"},
        {"SD4 token DC 10 02", "dc1002"},
        {"SD4 token DC 68 02", "dc6802"},
    };
    for (const auto &f : foreign) {
        const QByteArray frame = QByteArray::fromHex(f.hex);
        const QString hex = QString::fromLatin1(f.hex);
        QTest::addRow("%s alone", f.name) << QByteArrayList{frame} << hex << 0;
        QTest::addRow("%s before the acknowledgement", f.name) << QByteArrayList{frame + ack} << hex + " e5" << 0;
        QTest::addRow("%s after the acknowledgement", f.name) << QByteArrayList{ack + frame} << "e5 " + hex << 0;
        QTest::addRow("%s before the answer", f.name) << QByteArrayList{frame + answer} << hex + " " + answerHex << 0;
        QTest::addRow("%s after the answer", f.name) << QByteArrayList{answer + frame} << answerHex + " " + hex << 0;
    }
    QTest::newRow("a broken SD1, then a good one")
        << QByteArrayList{QByteArray::fromHex("10000208ff16" "100002080a16")} << "100002080a16" << 0;
    QTest::newRow("a stray 10 right before an SD1")
        << QByteArrayList{QByteArray::fromHex("10" "100002080a16")} << "100002080a16" << 0;
    QTest::newRow("a broken SD2, then E5") << QByteArrayList{QByteArray::fromHex("680303680002080b16e5")} << "e5" << 0;
    QTest::newRow("SD4 whose address cannot be one, then E5") << QByteArrayList{QByteArray::fromHex("dce5")} << "e5" << 0;
    // A stray 10 that swallows the E5 behind it is a candidate still short of bytes: the
    // transport gives up on it when the line stalls.
    QTest::newRow("a lone 10 before E5") << QByteArrayList{QByteArray::fromHex("10e5")} << "" << 2;
    // A foreign frame delivered in two pieces, cut at every byte: its head yields no frame, its
    // tail none of its own.
    for (const char *hex : {foreign[2].hex, foreign[3].hex}) {
        const QByteArray frame = QByteArray::fromHex(hex);
        for (int cut = 1; cut < frame.size(); ++cut) {
            QTest::addRow("%.6s... cut at %d, then E5", hex, cut)
                << QByteArrayList{frame.left(cut), frame.mid(cut) + ack} << QString::fromLatin1(hex) + " e5" << 0;
            QTest::addRow("%.6s... head of %d", hex, cut) << QByteArrayList{frame.left(cut)} << "" << cut;
        }
    }
}

void TestPpiFrames::scanStream()
{
    QFETCH(QByteArrayList, deliveries);
    QFETCH(QString, frames);
    QFETCH(int, pending);
    QByteArray buffer;
    QStringList found;
    for (const QByteArray &delivery : deliveries) {
        buffer.append(delivery);
        for (;;) {
            const PpiFrames::Scan s = PpiFrames::scan(buffer);
            buffer.remove(0, s.skip);
            if (s.length == 0) {
                QCOMPARE(s.missing > 0, !buffer.isEmpty());
                break;
            }
            found << QString::fromLatin1(buffer.left(s.length).toHex());
            buffer.remove(0, s.length);
        }
    }
    QCOMPARE(found.join(' '), frames);
    QCOMPARE(buffer.size(), pending);
}

void TestPpiFrames::replyClassification_data()
{
    // Answers of station 2 to master 0 for the job with reference 0x1234.
    const QByteArray ack = QByteArray::fromHex("320300001234000200060000" "0401" "ff040010abcd");
    QByteArray otherReference = ack;
    otherReference[5] = char(0x35);
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("reply");
    QTest::newRow("E5") << QByteArray::fromHex("e5") << int(PpiFrames::Reply::Ack);
    QTest::newRow("the answer") << PpiFrames::variableFrame(0, 2, 8, ack) << int(PpiFrames::Reply::Answer);
    QTest::newRow("another reference") << PpiFrames::variableFrame(0, 2, 8, otherReference) << int(PpiFrames::Reply::Foreign);
    QTest::newRow("to another master") << PpiFrames::variableFrame(1, 2, 8, ack) << int(PpiFrames::Reply::Foreign);
    QTest::newRow("from another station") << PpiFrames::variableFrame(0, 3, 8, ack) << int(PpiFrames::Reply::Foreign);
    QTest::newRow("no S7 header") << PpiFrames::variableFrame(0, 2, 8, QByteArray()) << int(PpiFrames::Reply::Foreign);
    QTest::newRow("negative acknowledgement") << QByteArray::fromHex("100002010316") << int(PpiFrames::Reply::Other);
    QTest::newRow("fixed frame to another master") << QByteArray::fromHex("100102010416") << int(PpiFrames::Reply::Foreign);
    QByteArray broken = PpiFrames::variableFrame(0, 2, 8, ack);
    broken[broken.size() - 2] = char(broken.at(broken.size() - 2) ^ 1);
    QTest::newRow("bad FCS") << broken << int(PpiFrames::Reply::Other);
    QTest::newRow("token") << QByteArray::fromHex("dc1002") << int(PpiFrames::Reply::Foreign);
    QTest::newRow("SD3 of station 2 to master 1") << QByteArray::fromHex("a20102081068e51068e510683d16") << int(PpiFrames::Reply::Foreign);
    QTest::newRow("FDL status answer of station 2 to master 1") << QByteArray::fromHex("100102000316") << int(PpiFrames::Reply::Foreign);
    QTest::newRow("echo of our poll") << QByteArray::fromHex("1002005c5e16") << int(PpiFrames::Reply::Foreign);
}

void TestPpiFrames::replyClassification()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, reply);
    QCOMPARE(int(PpiFrames::classify(frame, 2, 0, 0x1234)), reply);
}

void TestPpiFrames::serialSettings_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("line");      // baud, data bits, parity letter, stop bits; or the bad field
    QTest::newRow("PPI fast rate") << 187500 << 8 << 1 << "E" << "187500 8E1";
    QTest::newRow("Even") << 9600 << 8 << 1 << "Even" << "9600 8E1";
    QTest::newRow("EVEN") << 19200 << 8 << 1 << "EVEN" << "19200 8E1";
    QTest::newRow("odd, two stop bits") << 9600 << 7 << 2 << "odd" << "9600 7O2";
    QTest::newRow("O") << 1200 << 5 << 3 << " O " << "1200 5O1.5";
    QTest::newRow("None") << 38400 << 8 << 1 << "None" << "38400 8N1";
    QTest::newRow("n") << 115200 << 6 << 1 << "n" << "115200 6N1";
    QTest::newRow("no parity text") << 9600 << 8 << 1 << "" << "9600 8N1";
    QTest::newRow("14400") << 14400 << 8 << 1 << "N" << "baud";
    QTest::newRow("0 baud") << 0 << 8 << 1 << "N" << "baud";
    QTest::newRow("9 data bits") << 9600 << 9 << 1 << "N" << "databits";
    QTest::newRow("4 data bits") << 9600 << 4 << 1 << "N" << "databits";
    QTest::newRow("0 stop bits") << 9600 << 8 << 0 << "N" << "stopbits";
    QTest::newRow("Mark") << 9600 << 8 << 1 << "Mark" << "parity";
    QTest::newRow("N8") << 9600 << 8 << 1 << "N8" << "parity";
}

void TestPpiFrames::serialSettings()
{
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(QString, parity);
    QFETCH(QString, line);
    SerialSettings::Line read;
    const char *bad = SerialSettings::read(baud, dataBits, stopBits, parity, &read);
    if (bad) {
        QCOMPARE(QString::fromLatin1(bad), line);
        return;
    }
    const char parityLetter = read.parity == QSerialPort::EvenParity ? 'E' : read.parity == QSerialPort::OddParity ? 'O' : 'N';
    const QString stop = read.stopBits == QSerialPort::OneStop ? QStringLiteral("1")
                         : read.stopBits == QSerialPort::TwoStop ? QStringLiteral("2") : QStringLiteral("1.5");
    QCOMPARE(QStringLiteral("%1 %2%3%4").arg(read.baud).arg(int(read.dataBits)).arg(QLatin1Char(parityLetter)).arg(stop), line);
}

QTEST_GUILESS_MAIN(TestPpiFrames)
#include "tst_ppi_frames.moc"
