#include <QtTest>

#include "S7Pdu.h"

using S7Pdu::Verdict;
Q_DECLARE_METATYPE(S7Pdu::Verdict)

class TstS7Pdu : public QObject
{
    Q_OBJECT
private slots:
    // The S7 part of whole frames, from the protocol id on (reference 0x1234).
    void jobs_data()
    {
        QTest::addColumn<QByteArray>("pdu");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("read V100, 4 bytes") << S7Pdu::readJob(0x1234, 0x84, 1, 100, 4)
            << QByteArray::fromHex("320100001234000e0000040112" "0a1002000400018400" "0320");
        QTest::newRow("read DB5") << S7Pdu::readJob(0x1234, 0x84, 5, 100, 4)
            << QByteArray::fromHex("320100001234000e0000040112" "0a1002000400058400" "0320");
        QTest::newRow("read M100") << S7Pdu::readJob(0x1234, 0x83, 0, 100, 4)
            << QByteArray::fromHex("320100001234000e0000040112" "0a1002000400008300" "0320");
        QTest::newRow("byte write DB5.DBB10") << S7Pdu::writeJob(0x1234, 0x84, 5, 80, S7Pdu::ItemSize::Byte, QByteArray::fromHex("abcd"))
            << QByteArray::fromHex("320100001234000e0006050112" "0a100200020005840000500004" "0010abcd");
        QTest::newRow("bit write Q0.3") << S7Pdu::writeJob(0x1234, 0x82, 0, 3, S7Pdu::ItemSize::Bit, QByteArray::fromHex("01"))
            << QByteArray::fromHex("320100001234000e0005050112" "0a100100010000820000030003" "000101");
        // Items as PLCs of both families take them; T37 as a real S7-200 SMART took it.
        const QByteArray readHead = QByteArray::fromHex("320100001234000e00000401");
        QTest::newRow("read SMB28") << S7Pdu::readJob(0x1234, 0x05, 0, 28, 1) << readHead + QByteArray::fromHex("120a100200010000050000e0");
        QTest::newRow("read AIW0: one word") << S7Pdu::readJob(0x1234, 0x06, 0, 0, 2) << readHead + QByteArray::fromHex("120a100400010000060000" "00");
        QTest::newRow("read T37, S7-200") << S7Pdu::elementReadJob(0x1234, 0x1F, 37, 1) << readHead + QByteArray::fromHex("120a101f000100001f000025");
        QTest::newRow("read T5, S7-300") << S7Pdu::elementReadJob(0x1234, 0x1D, 5, 1) << readHead + QByteArray::fromHex("120a101d000100001d000005");
        QTest::newRow("read C5..C7, S7-200") << S7Pdu::elementReadJob(0x1234, 0x1E, 5, 3) << readHead + QByteArray::fromHex("120a101e000300001e000005");
        QTest::newRow("read PIW256") << S7Pdu::readJob(0x1234, 0x80, 0, 256, 2) << readHead + QByteArray::fromHex("120a10020002000080000800");
        QTest::newRow("write T5 = S5T#5S, 10 ms x 500") << S7Pdu::elementWriteJob(0x1234, 0x1D, 5, QByteArray::fromHex("0500"))
            << QByteArray::fromHex("320100001234000e0006050112" "0a101d000100001d000005" "000900020500");
        QTest::newRow("write AQW2 = -7") << S7Pdu::writeJob(0x1234, 0x07, 0, 16, S7Pdu::ItemSize::Byte, QByteArray::fromHex("fff9"))
            << QByteArray::fromHex("320100001234000e0006050112" "0a10040001000007000010" "00040010fff9");
        QTest::newRow("write PQW256") << S7Pdu::writeJob(0x1234, 0x80, 0, 2048, S7Pdu::ItemSize::Byte, QByteArray::fromHex("0005"))
            << QByteArray::fromHex("320100001234000e0006050112" "0a10020002000080000800" "000400100005");
        QTest::newRow("bit write takes one byte") << S7Pdu::writeJob(0x1234, 0x82, 0, 3, S7Pdu::ItemSize::Bit, QByteArray::fromHex("0001"))
            << QByteArray::fromHex("320100001234000e0005050112" "0a100100010000820000030003" "000100");
    }
    void jobs()
    {
        QFETCH(QByteArray, pdu);
        QFETCH(QByteArray, expected);
        QCOMPARE(pdu.toHex(), expected.toHex());
        QCOMPARE(S7Pdu::reference(pdu), quint16(0x1234));
    }

    void longWrite()
    {
        const QByteArray pdu = S7Pdu::writeJob(1, 0x84, 5, 0, S7Pdu::ItemSize::Byte, QByteArray(300, '\x55'));
        QCOMPARE(pdu.size(), S7Pdu::WriteJobOverhead + 300);
        QCOMPARE(pdu.mid(8, 2).toHex(), QByteArray("0130"));   // data length 4 + 300
        QCOMPARE(pdu.mid(16, 2).toHex(), QByteArray("012c"));  // 300 elements
        QCOMPARE(pdu.mid(26, 2).toHex(), QByteArray("0960"));  // 300 bytes in bits
    }

    // The fields carry 24 bits of start address, 16 of count and block: a job that would name
    // another place than the one asked for is not built. Byte items start at bit 0 of a byte.
    void jobsThatCannotBeCarried()
    {
        using S7Pdu::ItemSize;
        const QByteArray two = QByteArray::fromHex("abcd");
        QVERIFY(!S7Pdu::readJob(1, 0x83, 0, 0x1FFFFF, 1).isEmpty());   // bit address 0xFFFFF8
        QVERIFY(S7Pdu::readJob(1, 0x83, 0, 0x200000, 1).isEmpty());    // would wrap to byte 0
        QVERIFY(S7Pdu::readJob(1, 0x83, 0, 536871012, 1).isEmpty());   // * 8 wraps a 32-bit int
        QVERIFY(S7Pdu::readJob(1, 0x83, 0, -1, 1).isEmpty());
        QVERIFY(S7Pdu::readJob(1, 0x83, 0, 0, 0x10000).isEmpty());
        QVERIFY(S7Pdu::readJob(1, 0x83, 0, 0, -1).isEmpty());
        QVERIFY(S7Pdu::readJob(1, 0x84, 0x10000, 0, 1).isEmpty());
        QVERIFY(!S7Pdu::readJob(1, 0x84, 0xFFFF, 0, 0xFFFF).isEmpty());
        QVERIFY(S7Pdu::writeJob(1, 0x83, 0, 83, ItemSize::Byte, two).isEmpty());
        QVERIFY(!S7Pdu::writeJob(1, 0x83, 0, 83, ItemSize::Bit, two).isEmpty());
        QVERIFY(S7Pdu::writeJob(1, 0x83, 0, 0x1000000, ItemSize::Bit, two).isEmpty());
        QVERIFY(S7Pdu::writeJob(1, 0x83, 0, -8, ItemSize::Byte, two).isEmpty());
        QVERIFY(S7Pdu::writeJob(1, 0x84, 0x10000, 0, ItemSize::Byte, two).isEmpty());
        QVERIFY(!S7Pdu::writeJob(1, 0x83, 0, 0, ItemSize::Byte, QByteArray(8191, 'x')).isEmpty());
        QVERIFY(S7Pdu::writeJob(1, 0x83, 0, 0, ItemSize::Byte, QByteArray(8192, 'x')).isEmpty());  // length in bits
        // Analog words are whole words at even bytes; timers and counters have items of their own.
        QVERIFY(S7Pdu::readJob(1, 0x06, 0, 0, 3).isEmpty());
        QVERIFY(S7Pdu::writeJob(1, 0x07, 0, 8, ItemSize::Byte, two).isEmpty());
        QVERIFY(S7Pdu::writeJob(1, 0x07, 0, 0, ItemSize::Bit, two).isEmpty());
        QVERIFY(S7Pdu::readJob(1, 0x1D, 0, 5, 2).isEmpty());
        QVERIFY(S7Pdu::elementReadJob(1, 0x84, 5, 1).isEmpty());
        QVERIFY(S7Pdu::elementReadJob(1, 0x1D, 0x1000000, 1).isEmpty());
        QVERIFY(S7Pdu::elementWriteJob(1, 0x1C, 5, QByteArray::fromHex("00")).isEmpty());
    }

    // Timer and counter answers: octet strings, one record per element, the value its last two
    // bytes; an S7-200's records have 2, 3 or 5 bytes, an S7-300's 2.
    void elementAcks_data()
    {
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("pdu");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QByteArray>("words");
        auto add = [](const char *name, int area, int count, const QByteArray &item, Verdict v, const char *words = "") {
            QTest::newRow(name) << area << count << QByteArray::fromHex("32030000123400020000" "0000" "0401" + item) << v
                                << QByteArray::fromHex(words);
        };
        add("S7-300 T5 2 bytes", 0x1D, 1, "ff0900022005", Verdict::Ok, "2005");
        add("S7-300 C5..C6", 0x1C, 2, "ff09000400420999", Verdict::Ok, "00420999");
        add("S7-200 T37 2 bytes", 0x1F, 1, "ff0900020096", Verdict::Ok, "0096");
        add("S7-200 T37 3 bytes", 0x1F, 1, "ff090003010096", Verdict::Ok, "0096");
        add("S7-200 T37 3 bytes with fill byte", 0x1F, 1, "ff09000301009600", Verdict::Ok, "0096");
        add("S7-200 T37 5 bytes", 0x1F, 1, "ff0900050112340096", Verdict::Ok, "0096");
        add("S7-200 C5..C6 5 bytes", 0x1E, 2, "ff09000a01aaaafffd00bbbb0007", Verdict::Ok, "fffd0007");
        add("S7-200 4-byte records", 0x1F, 1, "ff09000400000096", Verdict::WrongLength);
        add("S7-200 records of 2.5 bytes", 0x1E, 2, "ff09000501000096ff", Verdict::WrongLength);
        add("S7-300 5-byte records", 0x1D, 1, "ff0900050112340096", Verdict::WrongLength);
        add("record cut short", 0x1F, 1, "ff0900050112", Verdict::WrongLength);
        add("two bytes past the item", 0x1D, 1, "ff09000220050000", Verdict::WrongLength);
        add("refused as the S7-200 does", 0x1D, 1, "03000000", Verdict::ItemError);
    }
    void elementAcks()
    {
        QFETCH(int, area);
        QFETCH(int, count);
        QFETCH(QByteArray, pdu);
        const QByteArray exact(pdu.constData(), pdu.size());
        QByteArray words;
        QTEST(S7Pdu::judgeElementReadAck(exact, area, count, &words), "verdict");
        QTEST(words, "words");
    }

    void acks_data()
    {
        QTest::addColumn<bool>("read");
        QTest::addColumn<QByteArray>("pdu");
        QTest::addColumn<int>("byteCount");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QByteArray>("data");
        const QByteArray readHead = "3203000012340002";
        auto add = [](const char *name, bool read, const QByteArray &hex, int n, Verdict v, const char *data = "") {
            QTest::newRow(name) << read << QByteArray::fromHex(hex) << n << v << QByteArray::fromHex(data);
        };
        add("good read", true, readHead + "00080000" "0401" "ff040020" "0a0b0c0d", 4, Verdict::Ok, "0a0b0c0d");
        add("AIW0 as 16 bits", true, readHead + "00060000" "0401" "ff040010" "fff9", 2, Verdict::Ok, "fff9");
        add("octet string length in bytes", true, readHead + "00060000" "0401" "ff090002" "0a0b", 2, Verdict::Ok, "0a0b");
        add("error item", true, readHead + "00040000" "0401" "0a000000", 4, Verdict::ItemError);
        add("header error class", true, readHead + "0000" "8500" "0401", 4, Verdict::HeaderError);
        add("length disagrees", true, readHead + "00080000" "0401" "ff040020" "0a0b0c0d", 2, Verdict::WrongLength);
        add("data truncated", true, readHead + "00080000" "0401" "ff040020" "0a0b", 4, Verdict::WrongLength);
        add("item header truncated", true, readHead + "00080000" "0401" "ff04", 4, Verdict::WrongLength);
        add("ends after parameter", true, readHead + "00080000" "0401", 4, Verdict::WrongLength);
        add("header only", true, readHead + "00000000", 4, Verdict::NotAnAnswer);
        add("two bytes", true, "3203", 4, Verdict::NotAnAnswer);
        add("empty", true, "", 4, Verdict::NotAnAnswer);
        add("a job, not an ack", true, "3201000012340002000800000401ff0400200a0b0c0d", 4, Verdict::NotAnAnswer);
        add("write ack to a read", true, readHead + "000100000501ff", 1, Verdict::NotAnAnswer);
        add("good write", false, readHead + "000100000501ff", 0, Verdict::Ok);
        add("write error item", false, readHead + "0001000005010a", 0, Verdict::ItemError);
        add("write ack truncated", false, readHead + "000100000501", 0, Verdict::WrongLength);
        add("write header error", false, readHead + "0000" "8104" "0501", 0, Verdict::HeaderError);
        add("read ack to a write", false, readHead + "000800000401ff0400200a0b0c0d", 0, Verdict::NotAnAnswer);
    }
    void acks()
    {
        QFETCH(bool, read);
        QFETCH(QByteArray, pdu);
        QFETCH(int, byteCount);
        // An exact-size copy, so that a read past the end is seen by the sanitizer.
        const QByteArray exact(pdu.constData(), pdu.size());
        QByteArray data;
        QTEST(read ? S7Pdu::judgeReadAck(exact, byteCount, &data) : S7Pdu::judgeWriteAck(exact), "verdict");
        QTEST(data, "data");
    }

    // Data bytes per job: a read answer spends 18 bytes of the PDU besides its data, a write
    // request 28; the 16-bit count fields cap both (a write's counts bits).
    void capacities_data()
    {
        QTest::addColumn<int>("pduLength");
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("write");
        QTest::newRow("240") << 240 << 222 << 212;
        QTest::newRow("480") << 480 << 462 << 452;
        QTest::newRow("960") << 960 << 942 << 932;
        QTest::newRow("smallest usable") << S7Pdu::MinimumPduLength << 11 << 1;
        QTest::newRow("too small to write") << 28 << 10 << 0;
        QTest::newRow("too small for anything") << 18 << 0 << 0;
        QTest::newRow("none") << 0 << 0 << 0;
        QTest::newRow("beyond the count fields") << 70000 << 65535 << 8191;
    }
    void capacities()
    {
        QFETCH(int, pduLength);
        QFETCH(int, read);
        QFETCH(int, write);
        QCOMPARE(S7Pdu::readCapacity(pduLength), read);
        QCOMPARE(S7Pdu::writeCapacity(pduLength), write);
        if (write > 0 && pduLength <= 960) {
            const QByteArray full(write, '\x5a');
            QCOMPARE(S7Pdu::writeJob(1, 0x84, 1, 0, S7Pdu::ItemSize::Byte, full).size(), pduLength);
        }
    }

    void referenceOfShortPdu() { QCOMPARE(S7Pdu::reference(QByteArray::fromHex("3203001234")), quint16(0)); }
};

QTEST_MAIN(TstS7Pdu)
#include "tst_s7pdu.moc"
