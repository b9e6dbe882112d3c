// Both drivers used as large host runtimes use them: a driver made on the host's main thread and
// polled on a thread of its own, while the main thread is blocked or runs its event loop; and a
// connect that fails, after which nothing may stay open.
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

#include "LogCapture.h"
#include "SimulatorThreads.h"
#include "korvane.h"
#include "pellimor.h"

namespace {

enum class Main { Blocked, EventLoop };
// The interface has no virtual destructor: a host deletes the driver through its QObject part.
using Driver = std::unique_ptr<CDriveBaseClass, void (*)(CDriveBaseClass *)>;
enum class Slot { ReadsSameDriver, WritesSameDriver, ReleasesDriver, DeletesDriver, TakesLong };
enum class Fault { None, S7ConnectionRefused, S7SetupRefused, OtherStation, SilentStation, RefusedText };

constexpr int DataBlock = 0x84;
// A read that finds the link down answers at once.
constexpr int AtOnceMs = 100;

} // namespace

Q_DECLARE_METATYPE(Main)
Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Slot)

class TestHostUsage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usedOnAnotherThread_data();
    void usedOnAnotherThread();
    void failedConnect_data();
    void failedConnect();
    void slotsInsideACall_data();
    void slotsInsideACall();
    void mastersSharingALine_data();
    void mastersSharingALine();

private:
    // The driver of a row, its connection text and the data block of a slow answer.
    Driver make(const QString &link);
    QString connectionText(const QString &link) const;
    PlcMemory &memory(const QString &link);

    QTemporaryDir dir;
    SimulatorThread sim;
    std::unique_ptr<StationThread> gateway;
    std::unique_ptr<StationThread> pty;
};

void TestHostUsage::initTestCase()
{
    registerLabelVariableTypes();
    gateway = std::make_unique<StationThread>(StationThread::Medium::Gateway);
    pty = std::make_unique<StationThread>(StationThread::Medium::Pty, 2, dir.filePath(QStringLiteral("tty")));
    QVERIFY(gateway->ok() && pty->ok() && sim.port);
}

Driver TestHostUsage::make(const QString &link)
{
    CDriveBaseClass *drv = link == QLatin1String("s7") ? static_cast<CDriveBaseClass *>(new Korvane)
                                                       : static_cast<CDriveBaseClass *>(new Pellimor);
    drv->SetConnectPar(QStringLiteral("2"));
    return Driver(drv, [](CDriveBaseClass *d) { delete dynamic_cast<QObject *>(d); });
}

QString TestHostUsage::connectionText(const QString &link) const
{
    if (link == QLatin1String("s7"))
        return QStringLiteral("127.0.0.1:%1").arg(sim.port);
    if (link == QLatin1String("ppi gateway"))
        return QStringLiteral("127.0.0.1:%1").arg(gateway->port());
    return dir.filePath(QStringLiteral("tty")) + QStringLiteral(",9600,8,1,E");
}

PlcMemory &TestHostUsage::memory(const QString &link)
{
    if (link == QLatin1String("s7"))
        return sim.memory;
    return link == QLatin1String("ppi gateway") ? gateway->memory : pty->memory;
}

void TestHostUsage::usedOnAnotherThread_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("slowBlock");
    QTest::addColumn<Main>("main");
    // Answers that take longer than a device's quick wait: they arrive while the driver runs
    // its own thread's events.
    const struct { const char *link; int block; const char *how; } slow[] = {
        {"s7", S7Server::SplitAnswerDb, "answer in pieces"},
        {"ppi gateway", PpiStation::PiecesBlock, "answer in pieces"},
        {"ppi gateway", PpiStation::NotReadyBlock, "polled again"},
        {"ppi pty", PpiStation::PiecesBlock, "answer in pieces"},
    };
    for (const auto &s : slow) {
        QTest::addRow("%s, %s, main thread blocked", s.link, s.how) << s.link << s.block << Main::Blocked;
        QTest::addRow("%s, %s, main thread in its event loop", s.link, s.how) << s.link << s.block << Main::EventLoop;
    }
}

// The host makes the driver on its main thread and polls it on a thread of its own.
void TestHostUsage::usedOnAnotherThread()
{
    QFETCH(QString, link);
    QFETCH(int, slowBlock);
    QFETCH(Main, main);
    const QByteArray image = QByteArray::fromHex("c0ffee5a");
    QVERIFY(memory(link).write(DataBlock, slowBlock, 10, image));
    QVERIFY(memory(link).write(DataBlock, 1, 10, image.left(2)));
    Driver drv = make(link);
    const QString text = connectionText(link);
    const QString slowAddress = QStringLiteral("DB%1.DBB10").arg(slowBlock);

    constexpr int Rounds = 8;
    QList<QByteArray> got;      // read by the main thread after the poller has finished
    int connected = -99;
    int released = -99;
    LogCapture log;
    // Set last by the poller and read first after it ended: an order ThreadSanitizer sees (it
    // cannot see QThread's own).
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> poller(QThread::create([&] {
        connected = drv->ConnectDrive(text);
        for (int i = 0; i < Rounds && connected == 0; ++i) {
            CLabelVariable slow = drv->ReadVariable(slowAddress, UInt8, 4);
            CLabelVariable quick = drv->ReadVariable(QStringLiteral("DB1.DBB10"), UInt8, 2);
            QByteArray both;
            for (CLabelVariable *v : {&slow, &quick}) {
                both += QByteArray::number(v->resultCode) + ':';
                for (int k = 0; k < v->count; ++k)
                    both += char(v->atUInt8(k));
            }
            got << both;
        }
        drv->DisConnectDrive();
        released = drv->DestroyFree();
        done = true;
    }));
    if (main == Main::Blocked) {
        poller->start();
        QVERIFY(poller->wait(60000));
    } else {
        // A busy UI thread: its timers fire all the time.
        QEventLoop loop;
        QTimer tick;
        int ticks = 0;
        connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
        connect(poller.get(), &QThread::finished, &loop, &QEventLoop::quit);
        tick.start(1);
        poller->start();
        loop.exec();
        QVERIFY(poller->wait(60000));
        QVERIFY(ticks > 0);
    }
    QVERIFY(done.load());
    QCOMPARE(connected, 0);
    const QByteArray expected = "0:" + image + "0:" + image.left(2);
    QCOMPARE(got, QList<QByteArray>() << expected << expected << expected << expected << expected << expected
                                      << expected << expected);
    QCOMPARE(released, 0);
    for (const QString &line : log.lines(QtWarningMsg))
        QVERIFY2(!line.startsWith(QLatin1String("QObject")) && !line.contains(QLatin1String("thread")), qPrintable(line));
}

void TestHostUsage::failedConnect_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("result");
    QTest::newRow("s7, connection request refused") << "s7" << Fault::S7ConnectionRefused << -2;
    QTest::newRow("s7, set-up refused") << "s7" << Fault::S7SetupRefused << -2;
    QTest::newRow("s7, refused text on a ready link") << "s7" << Fault::RefusedText << -1;
    for (const char *medium : {"ppi gateway", "ppi pty"}) {
        const bool tcp = QByteArray(medium) == "ppi gateway";
        QTest::addRow("%s, another station answers", medium) << medium << Fault::OtherStation << (tcp ? -3 : -1);
        QTest::addRow("%s, silent station", medium) << medium << Fault::SilentStation << (tcp ? -3 : -1);
        QTest::addRow("%s, refused text on a ready link", medium) << medium << Fault::RefusedText << -1;
    }
}

// A connect that does not end in 0 leaves nothing open: the next read reports the link down at
// once, even after the station address is put right, and a gateway is free for its next client.
void TestHostUsage::failedConnect()
{
    QFETCH(QString, link);
    QFETCH(Fault, fault);
    QFETCH(int, result);
    LogCapture log;     // the greetings' dumps and the refusal and disconnection warnings
    QVERIFY(memory(link).write(DataBlock, 1, 0, QByteArray::fromHex("4d")));
    Driver drv = make(link);
    const QString text = connectionText(link);
    PpiStation *station = link == QLatin1String("ppi gateway") ? gateway->station
                          : link == QLatin1String("ppi pty")   ? pty->station
                                                               : nullptr;
    QString refused = text;
    switch (fault) {
    case Fault::S7ConnectionRefused:
        sim.server->setRefusal(S7Server::Refusal::ConnectionRequest);
        break;
    case Fault::S7SetupRefused:
        sim.server->setRefusal(S7Server::Refusal::Setup);
        break;
    case Fault::OtherStation:
        station->setGreetingAddress(3);
        break;
    case Fault::SilentStation:
        drv->SetConnectPar(QStringLiteral("5"));    // station 2 does not answer a greeting to 5
        break;
    case Fault::RefusedText:
        QCOMPARE(drv->ConnectDrive(text), 0);
        QCOMPARE(drv->ReadVariable(QStringLiteral("DB1.DBB0"), UInt8).resultCode, 0);
        refused = link == QLatin1String("ppi pty") ? text.section(QLatin1Char(','), 0, 0) + QStringLiteral(",0,8,1,E")
                                                   : QStringLiteral("127.0.0.1:0");
        break;
    case Fault::None:
        break;
    }
    const int got = drv->ConnectDrive(refused);
    sim.server->setRefusal(S7Server::Refusal::None);
    if (station)
        station->setGreetingAddress(-1);
    QCOMPARE(got, result);

    drv->SetConnectPar(QStringLiteral("2"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(drv->ReadVariable(QStringLiteral("DB1.DBB0"), UInt8).resultCode, 9);
    CLabelVariable one;
    one.value = QVariant::fromValue(QList<unsigned char>{1});
    QCOMPARE(drv->WriteVariable(QStringLiteral("DB1.DBB0"), UInt8, one).resultCode, 9);
    QVERIFY2(clock.elapsed() < AtOnceMs, qPrintable(QString::number(clock.elapsed())));
    if (link == QLatin1String("ppi gateway"))
        QTRY_COMPARE_WITH_TIMEOUT(gateway->station->gatewayClients(), 0, 1000);

    // The next client, and the same driver again, get the link.
    Driver next = make(link);
    QCOMPARE(next->ConnectDrive(text), 0);
    QCOMPARE(next->ReadVariable(QStringLiteral("DB1.DBB0"), UInt8).atUInt8(0), quint8(0x4d));
    QCOMPARE(next->DestroyFree(), 0);
    QCOMPARE(drv->ConnectDrive(text), 0);
    QCOMPARE(drv->ReadVariable(QStringLiteral("DB1.DBB0"), UInt8).resultCode, 0);
}

void TestHostUsage::slotsInsideACall_data()
{
    QTest::addColumn<Slot>("slot");
    QTest::addColumn<int>("outer");     // the result of the call the slot ran inside; -1: any
    QTest::addColumn<int>("inner");     // the result of the slot's own call; -1: none
    // The PPI waits run the thread's events, so a host timer fires inside a read.
    QTest::newRow("timer reads the same driver") << Slot::ReadsSameDriver << 0 << 9;
    QTest::newRow("timer writes the same driver") << Slot::WritesSameDriver << 0 << 9;
    QTest::newRow("timer releases the driver") << Slot::ReleasesDriver << 9 << -1;
    QTest::newRow("timer deletes the driver") << Slot::DeletesDriver << 9 << -1;
    QTest::newRow("timer takes longer than the answer wait") << Slot::TakesLong << -1 << -1;
}

// A host slot that runs inside a call of the driver: a call of its own on that driver is
// refused at once with nothing sent, the call in flight goes on unharmed, and a release or a
// delete ends it with 9 without touching what was freed.
void TestHostUsage::slotsInsideACall()
{
    QFETCH(Slot, slot);
    QFETCH(int, outer);
    QFETCH(int, inner);
    const QByteArray image = QByteArray::fromHex("c0ffee5a");
    QVERIFY(gateway->memory.write(DataBlock, PpiStation::PiecesBlock, 10, image));
    QVERIFY(gateway->memory.write(DataBlock, 1, 20, QByteArray::fromHex("11")));
    Driver drv = make(QStringLiteral("ppi gateway"));
    CDriveBaseClass *raw = drv.get();
    QCOMPARE(raw->ConnectDrive(connectionText(QStringLiteral("ppi gateway"))), 0);
    gateway->station->clearReceivedFrames();
    LogCapture log;
    // Long enough that the job is out and its answer is coming in pieces.
    constexpr int SlotAfterMs = 30;
    constexpr int LongSlotMs = 2500;
    int innerCode = -1;
    QTimer::singleShot(SlotAfterMs, Qt::PreciseTimer, [&] {
        switch (slot) {
        case Slot::ReadsSameDriver:
            innerCode = raw->ReadVariable(QStringLiteral("DB1.DBB20"), UInt8).resultCode;
            break;
        case Slot::WritesSameDriver: {
            CLabelVariable v;
            v.value = QVariant::fromValue(QList<unsigned char>{0x22});
            innerCode = raw->WriteVariable(QStringLiteral("DB1.DBB20"), UInt8, v).resultCode;
            break;
        }
        case Slot::ReleasesDriver:
            raw->DestroyFree();
            break;
        case Slot::DeletesDriver:
            drv.reset();
            break;
        case Slot::TakesLong: {
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < LongSlotMs)
                QThread::yieldCurrentThread();
            break;
        }
        }
    });
    QElapsedTimer clock;
    clock.start();
    CLabelVariable r = raw->ReadVariable(QStringLiteral("DB%1.DBB10").arg(PpiStation::PiecesBlock), UInt8, 4);
    const qint64 took = clock.elapsed();
    QCOMPARE(innerCode, inner);
    if (outer >= 0)
        QCOMPARE(r.resultCode, outer);
    if (outer == 0) {
        for (int k = 0; k < 4; ++k)
            QCOMPARE(r.atUInt8(k), quint8(image.at(k)));
    }
    // The time a slot takes counts against the call's own wait: nothing is waited for after it.
    QVERIFY2(took < (slot == Slot::TakesLong ? LongSlotMs : 0) + 2000 + 800, qPrintable(QString::number(took)));
    if (inner >= 0) {
        int refusals = 0;
        for (const QString &line : log.lines(QtWarningMsg))
            refusals += line.startsWith(QString::fromUtf8("lib[Siemens_PPI]调用被拒绝")) ? 1 : 0;
        QVERIFY2(refusals == 1, qPrintable(log.all().join(QLatin1Char(10))));
        QByteArray stored;
        gateway->memory.read(DataBlock, 1, 20, 1, &stored);
        QCOMPARE(stored.toHex(), QByteArray("11"));     // the refused write went nowhere
        // One job and its poll: the refused call sent nothing.
        int jobs = 0;
        for (const QByteArray &f : gateway->station->receivedFrames())
            jobs += f.size() > 6 && quint8(f.at(0)) == 0x68 ? 1 : 0;
        QCOMPARE(jobs, 1);
        QCOMPARE(raw->ReadVariable(QStringLiteral("DB1.DBB20"), UInt8).resultCode, 0);
    }
}

void TestHostUsage::mastersSharingALine_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("fewestRight");   // reads of each driver that must give the value
    // Two hosts behind one multi-client gateway, each with its own master address.
    QTest::newRow("masters 1 and 2") << ",master=1|,master=2" << 40 << 20;
    // Both the default master: the station cannot tell them apart, and many reads fail; none
    // may give the other's value.
    QTest::newRow("both master 0") << "|" << 12 << 0;
}

// Two driver objects read different values of one station through one gateway whose clients
// share the line: each reply reaches both.
void TestHostUsage::mastersSharingALine()
{
    QFETCH(QString, fields);
    QFETCH(int, rounds);
    QFETCH(int, fewestRight);
    StationThread shared(StationThread::Medium::Gateway);
    QVERIFY(shared.ok());
    shared.station->setSharedGateway(true);
    QVERIFY(shared.memory.write(DataBlock, 1, 30, QByteArray::fromHex("aa")));
    QVERIFY(shared.memory.write(DataBlock, 1, 31, QByteArray::fromHex("bb")));
    struct Tally { int connected = -99; int right = 0; int wrong = 0; };
    Tally tally[2];
    QSemaphore turn;
    QSemaphore go;
    std::unique_ptr<QThread> hosts[2];
    for (int h = 0; h < 2; ++h) {
        const QString text = QStringLiteral("127.0.0.1:%1").arg(shared.port()) + fields.section(QLatin1Char('|'), h, h);
        hosts[h].reset(QThread::create([&, h, text] {
            Driver drv = make(QStringLiteral("ppi gateway"));
            // One greeting after the other (two masters 0 would take each other's greeting
            // replies), then both read at once.
            if (h == 1)
                turn.acquire();
            tally[h].connected = drv->ConnectDrive(text);
            if (h == 0) {
                turn.release();
                go.acquire();
            } else {
                go.release();
            }
            const QString address = QStringLiteral("DB1.DBB%1").arg(30 + h);
            const quint8 value = h == 0 ? 0xaa : 0xbb;
            for (int i = 0; i < rounds && tally[h].connected == 0; ++i) {
                CLabelVariable r = drv->ReadVariable(address, UInt8);
                if (r.resultCode == 0)
                    ++(r.atUInt8(0) == value ? tally[h].right : tally[h].wrong);
            }
        }));
        hosts[h]->start();
    }
    for (auto &host : hosts)
        QVERIFY(host->wait(120000));
    for (const Tally &t : tally) {
        QCOMPARE(t.connected, 0);
        QCOMPARE(t.wrong, 0);
        QVERIFY2(t.right >= fewestRight, qPrintable(QString::number(t.right)));
    }
}

QTEST_GUILESS_MAIN(TestHostUsage)
#include "tst_host_usage.moc"
