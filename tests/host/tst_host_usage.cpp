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
enum class Fault { None, S7ConnectionRefused, S7SetupRefused, OtherStation, SilentStation, RefusedText };

constexpr int DataBlock = 0x84;
// A read that finds the link down answers at once.
constexpr int AtOnceMs = 100;

} // namespace

Q_DECLARE_METATYPE(Main)
Q_DECLARE_METATYPE(Fault)

class TestHostUsage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usedOnAnotherThread_data();
    void usedOnAnotherThread();
    void failedConnect_data();
    void failedConnect();

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

QTEST_GUILESS_MAIN(TestHostUsage)
#include "tst_host_usage.moc"
