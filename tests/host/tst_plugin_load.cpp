// Loads both plug-in files into one process the way a host runtime does and drives them only
// through CDriveBaseClass.
#include <QtTest>

#include <dlfcn.h>

#include "CDriveBaseClass.h"
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

QTEST_MAIN(TestPluginLoad)
#include "tst_plugin_load.moc"
