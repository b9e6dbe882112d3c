// A host program as a host author writes one against the installed -dev package: it links the
// value library (accessors, arithmetic, equality), finds the plug-in folder through pkg-config
// or CMake (PLC_PLUGIN_DIR), loads the installed S7 plug-in and talks to plcsim.
//   host S7_PORT
#include <CDriveBaseClass.h>

#include <QCoreApplication>
#include <QLibrary>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    registerLabelVariableTypes();

    QLibrary lib(QStringLiteral(PLC_PLUGIN_DIR "/libKorvane.so.1"));
    auto factory = reinterpret_cast<GetSharedLibraryFn>(lib.resolve("getSharedLibrary"));
    if (!factory) {
        std::fprintf(stderr, "host: %s\n", qPrintable(lib.errorString()));
        return 1;
    }
    CDriveBaseClass *drv = factory();
    if (drv->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(QString::fromLatin1(argv[1]))) != 0) {
        std::fprintf(stderr, "host: no connection to plcsim\n");
        return 1;
    }

    CLabelVariable out;
    out.type = Int16;
    out.count = 2;
    out.value = QVariant::fromValue(QList<short>{1200, 34});
    const CLabelVariable written = drv->WriteVariable(QStringLiteral("DB1.DBW10"), Int16, out, 2);
    CLabelVariable in = drv->ReadVariable(QStringLiteral("DB1.DBW10"), Int16, 2);
    const CLabelVariable again = drv->ReadVariable(QStringLiteral("DB1.DBW10"), Int16, 2);
    CLabelVariable sum = in + in;
    // Equal: same outcome, address, type and elements; the sum differs in its elements.
    const bool same = in == again && !(in == sum);
    std::printf("host: write %d, read %d: %d,%d; sum %d,%d; equal %s\n", written.resultCode, in.resultCode,
                in.atInt16(0), in.atInt16(1), sum.atInt16(0), sum.atInt16(1), same ? "yes" : "no");
    drv->DisConnectDrive();
    drv->DestroyFree();
    delete dynamic_cast<QObject *>(drv);
    const bool right = written.resultCode == 0 && in.resultCode == 0 && same && sum.atInt16(0) == 2400
                       && sum.atInt16(1) == 68;
    return right ? 0 : 1;
}
