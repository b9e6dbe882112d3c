// Loads both plug-in files into one process the way a host runtime does and drives them only
// through CDriveBaseClass.
#include <QtTest>

#include <dlfcn.h>

#include <atomic>
#include <thread>
#include <vector>

#include "CDriveBaseClass.h"
#include "SimulatorThreads.h"
#include "korvane.h"
#include "pellimor.h"

namespace {

struct Plugin {
    void *handle = nullptr;
    GetSharedLibraryFn factory = nullptr;
};

Plugin openPlugin(const char *envName)
{
    Plugin p;
    const QByteArray path = qgetenv(envName);
    if (path.isEmpty())
        return p;
    p.handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (p.handle)
        p.factory = reinterpret_cast<GetSharedLibraryFn>(dlsym(p.handle, "getSharedLibrary"));
    return p;
}

void destroy(CDriveBaseClass *drv)
{
    delete dynamic_cast<QObject *>(drv);
}

const char *fileVariable(const QByteArray &which)
{
    return which == "s7" ? "KORVANE_SO" : "PELLIMOR_SO";
}

// ---------------------------------------------------------------------------------------------
// Host scenarios, each run in a process of its own (nothing registered, nothing loaded yet).
// Exit status 0 when the host got what it asked for; a crash is a failure too.

int fail(const QString &why)
{
    fprintf(stderr, "%s\n", qPrintable(why));
    return 1;
}

// Values of all twelve list types, built and taken apart by the host itself.
bool hostValuesWork()
{
    CLabelVariable v;
    v.value = QVariant::fromValue(QList<short>{258, -2});
    bool ok = v.atInt16(1) == -2;
    const QVariant all[] = {QVariant::fromValue(QList<bool>{true}), QVariant::fromValue(QList<char>{'a'}),
                            QVariant::fromValue(QList<unsigned char>{1}), QVariant::fromValue(QList<unsigned short>{2}),
                            QVariant::fromValue(QList<int>{3}), QVariant::fromValue(QList<unsigned int>{4}),
                            QVariant::fromValue(QList<float>{5}), QVariant::fromValue(QList<long long>{6}),
                            QVariant::fromValue(QList<unsigned long long>{7}), QVariant::fromValue(QList<double>{8}),
                            QVariant::fromValue(QList<QString>{QStringLiteral("9")})};
    for (const QVariant &value : all) {
        const QVariant copy = value;
        ok = ok && copy == value && copy.value<QSequentialIterable>().size() == 1;
    }
    return ok;
}

// Scans the plug-in folder as a host does at start (load, create, ask the name, delete,
// unload), then registers the types itself and builds values.
int scanThenRegister(const QByteArray &which)
{
    Plugin p = openPlugin(fileVariable(which));
    if (!p.factory)
        return fail(QString::fromLocal8Bit(dlerror()));
    CDriveBaseClass *drv = p.factory();
    const QString name = drv->getDriveName();
    destroy(drv);
    dlclose(p.handle);
    registerLabelVariableTypes();
    return hostValuesWork() && !name.isEmpty() ? 0 : fail(QStringLiteral("values"));
}

// One plug-in is unloaded while a driver of the other keeps reading.
int unloadWhileOtherReads(const QByteArray &unloaded)
{
    Plugin gone = openPlugin(fileVariable(unloaded));
    Plugin kept = openPlugin(fileVariable(unloaded == "s7" ? "ppi" : "s7"));
    if (!gone.factory || !kept.factory)
        return fail(QString::fromLocal8Bit(dlerror()));
    CDriveBaseClass *first = gone.factory();     // registers the types first
    CDriveBaseClass *reader = kept.factory();
    StationThread station(StationThread::Medium::Gateway);
    SimulatorThread sim;
    station.memory.write(0x84, 1, 0, QByteArray::fromHex("2a"));
    sim.memory.write(0x84, 1, 0, QByteArray::fromHex("2a"));
    reader->SetConnectPar(QStringLiteral("2"));
    if (reader->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(unloaded == "s7" ? station.port() : sim.port)) != 0)
        return fail(QStringLiteral("connect"));
    destroy(first);
    dlclose(gone.handle);
    for (int i = 0; i < 20; ++i) {
        CLabelVariable r = reader->ReadVariable(QStringLiteral("DB1.DBB0"), UInt8);
        if (r.resultCode != 0 || r.atUInt8(0) != 0x2a)
            return fail(QStringLiteral("read %1: result %2").arg(i).arg(r.resultCode));
    }
    reader->DestroyFree();
    destroy(reader);
    return hostValuesWork() ? 0 : fail(QStringLiteral("values"));
}

// The process's mappings of the plug-in file.
qint64 mappings(const QByteArray &which)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray file = QFileInfo(QFile::decodeName(qgetenv(fileVariable(which)))).canonicalFilePath().toLocal8Bit();
    qint64 count = 0;
    for (const QByteArray &line : maps.readAll().split('\n'))
        count += line.endsWith(file) ? 1 : 0;
    return count;
}

// Loading, using and unloading the plug-in 500 times keeps working, and the file stays mapped
// as it was after the first round.
int loadAgainAndAgain(const QByteArray &which)
{
    qint64 afterFirst = 0;
    QString version;
    for (int round = 0; round < 500; ++round) {
        Plugin p = openPlugin(fileVariable(which));
        if (!p.factory)
            return fail(QString::fromLocal8Bit(dlerror()));
        CDriveBaseClass *drv = p.factory();
        CLabelVariable r = drv->ReadVariable(QStringLiteral("DB1.DBB0"), UInt8, 2);
        if (r.resultCode != 9 || r.address != QLatin1String("DB1.DBB0"))
            return fail(QStringLiteral("round %1: result %2").arg(round).arg(r.resultCode));
        if (round == 0)
            version = drv->DebugCmd(GetVersion);
        else if (drv->DebugCmd(GetVersion) != version)
            return fail(QStringLiteral("round %1: version").arg(round));
        destroy(drv);
        dlclose(p.handle);
        if (round == 0)
            afterFirst = mappings(which);
    }
    if (afterFirst == 0 || mappings(which) != afterFirst)
        return fail(QStringLiteral("mappings %1, after the first round %2").arg(mappings(which)).arg(afterFirst));
    return hostValuesWork() ? 0 : fail(QStringLiteral("values"));
}

// Many threads make the first GetVersion of the process at the same moment.
int firstVersionFromThreads(const QByteArray &which)
{
    Plugin p = openPlugin(fileVariable(which));
    if (!p.factory)
        return fail(QString::fromLocal8Bit(dlerror()));
    constexpr int Threads = 16;
    std::vector<CDriveBaseClass *> drivers;
    for (int i = 0; i < Threads; ++i)
        drivers.push_back(p.factory());
    // All wait at one gate, opened at once: as many as the machine has cores ask together.
    QMutex gate;
    QWaitCondition opened;
    bool open = false;
    std::atomic<int> waiting{Threads};
    QStringList texts;
    for (int i = 0; i < Threads; ++i)
        texts << QString();
    std::vector<std::thread> threads;
    for (int i = 0; i < Threads; ++i) {
        threads.emplace_back([&, i] {
            {
                QMutexLocker lock(&gate);
                --waiting;
                while (!open)
                    opened.wait(&gate);
            }
            texts[i] = drivers[size_t(i)]->DebugCmd(GetVersion);
        });
    }
    while (waiting.load() > 0)
        QThread::msleep(1);
    {
        QMutexLocker lock(&gate);
        open = true;
        opened.wakeAll();
    }
    for (auto &t : threads)
        t.join();
    const QRegularExpression whole(QStringLiteral("^v1\\.\\d\\.\\d \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    for (const QString &text : texts) {
        if (text != texts.first() || !whole.match(text).hasMatch())
            return fail(texts.join(QLatin1Char('|')));
    }
    for (CDriveBaseClass *d : drivers)
        destroy(d);
    return 0;
}

int runScenario(const QByteArray &scenario, const QByteArray &which)
{
    if (scenario == "scan-then-register")
        return scanThenRegister(which);
    if (scenario == "unload-while-other-reads")
        return unloadWhileOtherReads(which);
    if (scenario == "load-again-and-again")
        return loadAgainAndAgain(which);
    if (scenario == "first-version-from-threads")
        return firstVersionFromThreads(which);
    return fail(QStringLiteral("no such scenario"));
}

} // namespace

class TestPluginLoad : public QObject
{
    Q_OBJECT

private:
    Plugin s7;
    Plugin ppi;
    CDriveBaseClass *create(const QString &which)
    {
        return (which == QLatin1String("s7") ? s7 : ppi).factory();
    }

private slots:
    void initTestCase()
    {
        registerLabelVariableTypes();
        s7 = openPlugin("KORVANE_SO");
        ppi = openPlugin("PELLIMOR_SO");
        QVERIFY2(s7.factory, dlerror());
        QVERIFY2(ppi.factory, dlerror());
        QVERIFY(s7.factory != ppi.factory);
    }

    void identification_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("versionPrefix");
        QTest::addColumn<QString>("className");
        QTest::newRow("s7") << "s7" << "Siemens_S7" << "V1.8.4 20230505" << "v1.8.4 " << "Korvane";
        QTest::newRow("ppi") << "ppi" << "Siemens_PPI" << "V1.0.0 20200621" << "v1.0.0 " << "Pellimor";
    }
    void identification()
    {
        QFETCH(QString, which);
        QFETCH(QString, name);
        QFETCH(QString, number);
        QFETCH(QString, versionPrefix);
        QFETCH(QString, className);
        CDriveBaseClass *a = create(which);
        CDriveBaseClass *b = create(which);
        QVERIFY(a && b && a != b);
        QCOMPARE(a->getDriveName(), name);
        QCOMPARE(a->DebugCmd(GetDriveName), name);
        QCOMPARE(a->getversion_number(), number);
        const QString version = a->DebugCmd(GetVersion);
        QVERIFY2(QRegularExpression(QRegularExpression::escape(versionPrefix)
                                    + QStringLiteral("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"))
                     .match(version).hasMatch(), qPrintable(version));
        QCOMPARE(b->DebugCmd(GetVersion), version);
        QCOMPARE(a->DebugCmd(StartDebug), QStringLiteral("StartDebug"));
        QCOMPARE(a->DebugCmd(StopDebug), QStringLiteral("StopDebug"));
        QVERIFY(a->DebugCmd(EDebugCmdType(4)).isNull());
        QVERIFY(a->DebugCmd(EDebugCmdType(-1)).isNull());
        QCOMPARE(a->SetConnectPar(QStringLiteral("abc")), 0);
        QCOMPARE(a->SetConnectPar(QStringLiteral("2")), 2);

        // The host may cast the interface back to the facade and to its QObject part.
        QObject *object = dynamic_cast<QObject *>(a);
        QVERIFY(object);
        QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
        QCOMPARE(object->qt_metacast("CDriveBaseClass"), static_cast<void *>(a));
        QCOMPARE(qobject_cast<CDriveBaseClass *>(object), a);
        QCOMPARE(object->qt_metacast(qPrintable(className)), static_cast<void *>(object));
        QVERIFY(object->inherits(qPrintable(className)));
        if (which == QLatin1String("s7"))
            QVERIFY(dynamic_cast<Korvane *>(a));
        else
            QVERIFY(dynamic_cast<Pellimor *>(a));
        destroy(a);
        destroy(b);
    }

    // A value built here passes into the plug-in and comes back intact, with the request's
    // description and an outcome filled in.
    void valueCrossesTheInterface_data()
    {
        QTest::addColumn<QString>("which");
        QTest::newRow("s7") << "s7";
        QTest::newRow("ppi") << "ppi";
    }
    void valueCrossesTheInterface()
    {
        QFETCH(QString, which);
        CDriveBaseClass *drv = create(which);
        CLabelVariable v;
        v.value = QVariant::fromValue(QList<short>{258, -2});
        v.spareText = QStringLiteral("host text");
        v.spareInt = 42;
        v.resultCode = 77;
        // No area keyword: refused before anything is sent, in both plug-ins.
        CLabelVariable r = drv->WriteVariable(QStringLiteral("X5"), Int16, v, 2);
        QVERIFY(r.resultCode == ResultCode::BadArea || r.resultCode == ResultCode::BadAddress);
        QCOMPARE(r.address, QStringLiteral("X5"));
        QCOMPARE(r.count, 2);
        QCOMPARE(r.type, int(Int16));
        QCOMPARE(r.spareText, QStringLiteral("host text"));
        QCOMPARE(r.spareInt, 42);
        QCOMPARE(r.atInt16(0), short(258));
        QCOMPARE(r.atInt16(1), short(-2));
        QCOMPARE(r.accessCode, 0);

        // A read with no link gives the request's description and no value.
        CLabelVariable rd = drv->ReadVariable(QStringLiteral("X5"), Int16);
        QCOMPARE(rd.address, QStringLiteral("X5"));
        QCOMPARE(rd.count, 1);
        QVERIFY(!rd.value.isValid());
        QCOMPARE(drv->DestroyFree(), 1);
        destroy(drv);
    }

    // Each scenario in a fresh process of its own, so that it is the first to load, register
    // and ask; `runs` times where the fault it looks for shows only now and then.
    void hostScenarios_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("which");
        QTest::addColumn<int>("runs");
        for (const char *which : {"s7", "ppi"}) {
            QTest::addRow("%s: scan the plug-in, then register and build values", which)
                << "scan-then-register" << which << 1;
            QTest::addRow("%s unloaded while the other driver reads", which)
                << "unload-while-other-reads" << which << 1;
            QTest::addRow("%s loaded and unloaded 500 times", which) << "load-again-and-again" << which << 1;
            QTest::addRow("%s: first GetVersion from 16 threads at once", which)
                << "first-version-from-threads" << which << 12;
        }
    }
    void hostScenarios()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, which);
        QFETCH(int, runs);
#ifdef PLC_UNDER_EMULATOR
        QSKIP("qemu-user cannot start the child process each scenario runs in");
#endif
        for (int run = 0; run < runs; ++run) {
            QProcess host;
            host.setProcessChannelMode(QProcess::ForwardedOutputChannel);
            host.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--host-scenario"), scenario, which});
            QVERIFY(host.waitForFinished(120000));
            QCOMPARE(host.exitStatus(), QProcess::NormalExit);
            QCOMPARE(host.exitCode(), 0);
        }
    }

    void bothPluginsAtOnce()
    {
        CDriveBaseClass *a = s7.factory();
        CDriveBaseClass *b = ppi.factory();
        QCOMPARE(a->getDriveName(), QStringLiteral("Siemens_S7"));
        QCOMPARE(b->getDriveName(), QStringLiteral("Siemens_PPI"));
        // A port outside 1..65535 is refused without touching the link.
        QCOMPARE(a->ConnectDrive(QStringLiteral("127.0.0.1:70000")), -1);
        QCOMPARE(b->ConnectDrive(QStringLiteral("127.0.0.1:70000")), -1);
        QCOMPARE(b->ConnectDrive(QStringLiteral("COM1")), -4);
        destroy(a);
        destroy(b);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--host-scenario") == 0) {
        // A host asks for the version before it has made its application object (that first
        // use of Qt's locale and date code is what several threads must not share).
        if (qstrcmp(argv[2], "first-version-from-threads") == 0)
            return runScenario(argv[2], argv[3]);
        QCoreApplication app(argc, argv);
        return runScenario(argv[2], argv[3]);
    }
    QCoreApplication app(argc, argv);
    TestPluginLoad test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_plugin_load.moc"
