// plcsim's chaos mode and the faults it draws from, seen from the wire: the bytes a station
// sends back, the confirm a client gets; and plcsim's memory over a long run.
#include <QtTest>
#include <QTcpSocket>

#include "ChaosPlan.h"
#include "PlcMemory.h"
#include "PpiStation.h"
#include "S7ConnectionFrames.h"

namespace {

QByteArray variable(int da, int sa, int fc, const QByteArray &pdu)
{
    const int le = 3 + pdu.size();
    QByteArray f;
    f.append(char(0x68)).append(char(le)).append(char(le)).append(char(0x68));
    f.append(char(da)).append(char(sa)).append(char(fc)).append(pdu);
    unsigned sum = 0;
    for (int i = 4; i < f.size(); ++i)
        sum += quint8(f.at(i));
    f.append(char(sum & 0xFF)).append(char(0x16));
    return f;
}

// A read job of 2 bytes at byte 0 of data block `db`, for station 2 from master 0.
QByteArray readJob(int db, int reference)
{
    QByteArray pdu = QByteArray::fromHex("320100000000000e00000401120a10020002000084000000");
    pdu[4] = char(reference >> 8);
    pdu[5] = char(reference & 0xFF);
    pdu[18] = char(db >> 8);
    pdu[19] = char(db & 0xFF);
    return variable(2, 0, 0x6C, pdu);
}

const QByteArray Poll = QByteArray::fromHex("1002005c5e16");

} // namespace

class TstPlcsimChaos : public QObject
{
    Q_OBJECT
private slots:
    void sameSeedSameFaults();
    void rateBounds();
    void parsesOnlyWhatItCan_data();
    void parsesOnlyWhatItCan();
    void chaosStationReproducible();
    void stationFaultBlocks_data();
    void stationFaultBlocks();
    void confirmCountsItsHeader_data();
    void confirmCountsItsHeader();
    void memoryStaysBounded();
};

namespace {

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Sends `reads` read jobs with their polls, `batch` at a time, and takes every answer.
bool readOverGateway(quint16 port, int reads, int batch)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(3000))
        return false;
    const auto exchange = [&client](const QByteArray &requests, qint64 expected) {
        client.write(requests);
        qint64 got = 0;
        while (got < expected) {
            if (!client.waitForReadyRead(3000))
                return false;
            got += client.readAll().size();
        }
        return got == expected;
    };
    // The greeting (FDL status) and its 6-byte answer.
    if (!exchange(QByteArray::fromHex("100200494b16"), 6))
        return false;
    QByteArray requests;
    for (int i = 0; i < batch; ++i)
        requests += readJob(1, i + 1) + Poll;
    // An E5 and a 29-byte answer frame (7 bytes of frame, 22 of S7) for each read.
    for (int done = 0; done < reads; done += batch) {
        if (!exchange(requests, batch * (1 + 29)))
            return false;
    }
    return true;
}

} // namespace

// A simulator that runs for days keeps no history that grows with its traffic.
void TstPlcsimChaos::memoryStaysBounded()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer keeps freed memory in quarantine");
#endif
#ifdef PLC_UNDER_EMULATOR
    QSKIP("qemu-user cannot start the simulator as a process");
#endif
    QProcess sim;
    sim.start(QString::fromLocal8Bit(qgetenv("PLCSIM")), {QStringLiteral("--ppi-port"), QStringLiteral("0")});
    QVERIFY(sim.waitForStarted());
    QVERIFY(sim.waitForReadyRead(5000));
    const QByteArray line = sim.readLine().trimmed();
    const quint16 port = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
    QVERIFY2(port, line.constData());

    // Reads over a few connections, each greeted, so that every per-read and per-connection
    // cost has been paid once before the start is measured.
    constexpr int Batch = 20;
    for (int c = 0; c < 5; ++c)
        QVERIFY(readOverGateway(port, 1000, Batch));
    const qint64 start = residentKiB(sim.processId());
    for (int c = 0; c < 100; ++c)
        QVERIFY(readOverGateway(port, 1000, Batch));
    const qint64 end = residentKiB(sim.processId());
    sim.kill();
    sim.waitForFinished();
    QVERIFY(start > 0 && end > 0);
    qInfo("plcsim: %lld KiB resident after 5000 reads, %lld KiB after 100,000 more", start, end);
    // 100,000 reads over 100 connections: a history of them alone would take tens of MB.
    QVERIFY2(end - start < 4096, qPrintable(QStringLiteral("%1 KiB at the start, %2 KiB after").arg(start).arg(end)));
}

void TstPlcsimChaos::sameSeedSameFaults()
{
    const std::vector<int> faults = {1, 2, 3, 4, 5};
    ChaosPlan a(42, 0.5), b(42, 0.5), otherSeed(43, 0.5), otherStream(42, 0.5, 1);
    QVector<int> drawsA, drawsB, drawsSeed, drawsStream;
    for (int i = 0; i < 200; ++i) {
        drawsA << a.draw(faults);
        drawsB << b.draw(faults);
        drawsSeed << otherSeed.draw(faults);
        drawsStream << otherStream.draw(faults);
    }
    QCOMPARE(drawsA, drawsB);
    QVERIFY(drawsA != drawsSeed);
    QVERIFY(drawsA != drawsStream);
    // Every fault of the list comes up, and plain answers too.
    for (int f : {0, 1, 2, 3, 4, 5})
        QVERIFY2(drawsA.contains(f), qPrintable(QString::number(f)));
}

void TstPlcsimChaos::rateBounds()
{
    const std::vector<int> faults = {7};
    ChaosPlan never(1, 0.0), always(1, 1.0);
    for (int i = 0; i < 1000; ++i) {
        QCOMPARE(never.draw(faults), 0);
        QCOMPARE(always.draw(faults), 7);
    }
}

void TstPlcsimChaos::parsesOnlyWhatItCan_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<bool>("rateOk");
    QTest::addColumn<QString>("seed");
    QTest::addColumn<bool>("seedOk");
    QTest::newRow("plain") << "0.05" << true << "1" << true;
    QTest::newRow("edges") << "1" << true << "18446744073709551615" << true;
    QTest::newRow("above one, negative seed") << "1.5" << false << "-1" << false;
    QTest::newRow("negative rate, seed too large") << "-0.1" << false << "18446744073709551616" << false;
    QTest::newRow("words") << "nan" << false << "seven" << false;
}

void TstPlcsimChaos::parsesOnlyWhatItCan()
{
    QFETCH(QString, rate);
    QFETCH(bool, rateOk);
    QFETCH(QString, seed);
    QFETCH(bool, seedOk);
    double r = -7;
    quint64 s = 7;
    QCOMPARE(ChaosPlan::parseRate(rate, &r), rateOk);
    QCOMPARE(ChaosPlan::parseSeed(seed, &s), seedOk);
    if (!rateOk)
        QCOMPARE(r, -7.0);
}

// Two stations with the same seed answer the same traffic with the same bytes; another seed
// answers it otherwise.
void TstPlcsimChaos::chaosStationReproducible()
{
    auto run = [](quint64 seed) {
        PlcMemory memory;
        PpiStation station(&memory, 2);
        station.setChaos(ChaosPlan(seed, 0.5, 1));
        QList<QByteArray> replies;
        for (int i = 0; i < 60; ++i) {
            replies << station.serveBytes(readJob(1, i + 1));
            replies << station.serveBytes(Poll);
        }
        return replies;
    };
    const QList<QByteArray> first = run(5);
    QCOMPARE(run(5), first);
    QVERIFY(run(6) != first);
    // Some answers were plain: an E5, then the data frame on the poll.
    QVERIFY(first.contains(QByteArray::fromHex("e5")));
}

void TstPlcsimChaos::stationFaultBlocks_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<QByteArray>("toJob");
    QTest::addColumn<QString>("toPoll");     // "answer", "none", "garbage+answer", "earlier+answer"
    QTest::newRow("glitch byte before the acknowledgement") << int(PpiStation::GlitchBlock)
                                                            << QByteArray::fromHex("00e5") << "answer";
    QTest::newRow("late answer") << int(PpiStation::LateAnswerBlock) << QByteArray::fromHex("e5") << "none";
    QTest::newRow("garbage before the answer") << int(PpiStation::GarbageFirstBlock) << QByteArray::fromHex("e5")
                                               << "garbage+answer";
    QTest::newRow("earlier answer first") << int(PpiStation::EarlierFirstBlock) << QByteArray::fromHex("e5")
                                          << "earlier+answer";
}

void TstPlcsimChaos::stationFaultBlocks()
{
    QFETCH(int, block);
    QFETCH(QByteArray, toJob);
    QFETCH(QString, toPoll);
    PlcMemory memory;
    memory.write(0x84, 1, 0, QByteArray::fromHex("1111"));
    memory.write(0x84, block, 0, QByteArray::fromHex("2222"));
    PpiStation station(&memory, 2);
    // A plain exchange first, so that there is an earlier answer.
    QCOMPARE(station.serveBytes(readJob(1, 7)), QByteArray::fromHex("e5"));
    const QByteArray earlier = station.serveBytes(Poll);
    QVERIFY(earlier.contains(QByteArray::fromHex("00101111")));

    QCOMPARE(station.serveBytes(readJob(block, 8)), toJob);
    const QByteArray reply = station.serveBytes(Poll);
    // The answer to the job: its data 22 22 with the job's reference 00 08.
    const QByteArray answer = reply.right(earlier.size());
    if (toPoll == "none") {
        QVERIFY(reply.isEmpty());
        return;
    }
    QVERIFY(answer.contains(QByteArray::fromHex("00102222")));
    QCOMPARE(answer.mid(11, 2), QByteArray::fromHex("0008"));
    if (toPoll == "answer")
        QCOMPARE(reply, answer);
    else if (toPoll == "garbage+answer")
        QCOMPARE(reply, QByteArray::fromHex("ff00aa55") + answer);
    else
        QCOMPARE(reply, earlier + answer);
}

// A confirm's LI byte counts the bytes after it; the request's parameters are echoed only as far
// as a one-byte LI (at most 254) can count them.
void TstPlcsimChaos::confirmCountsItsHeader_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("confirm");
    QTest::newRow("the drivers' request") << QByteArray::fromHex("0300001611e00000000100c0010ac1021000c2020300")
                                          << QByteArray::fromHex("0300001611d00001000100c0010ac1021000c2020300");
    // LI 254: the class byte and 248 bytes of parameters (c0 01 0a, then one of 245 bytes).
    QByteArray big = QByteArray::fromHex("03000103fee000000001 00 c0010a c3f3").replace(" ", "");
    big.append(QByteArray(243, '\x5a'));
    // The 245-byte parameter takes the confirm's LI to 6 + 3 + 245 = 254: it still fits.
    const QByteArray bigConfirm = QByteArray::fromHex("03000103fed00001000100c0010ac3f3") + QByteArray(243, '\x5a');
    QTest::newRow("254 bytes of header") << big << bigConfirm;
    QByteArray tooBig = QByteArray::fromHex("03000104ffe000000001 00 c0010a c3f4").replace(" ", "");
    tooBig.append(QByteArray(244, '\x5a'));
    QTest::newRow("a parameter that would take LI past 254 is left out")
        << tooBig << QByteArray::fromHex("0300000e09d00001000100c0010a");
}

void TstPlcsimChaos::confirmCountsItsHeader()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, confirm);
    QCOMPARE(S7ConnectionFrames::connectionConfirm(request).toHex(), confirm.toHex());
}

QTEST_GUILESS_MAIN(TstPlcsimChaos)
#include "tst_plcsim_chaos.moc"
