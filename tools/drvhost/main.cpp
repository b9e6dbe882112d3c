// drvhost: a small host runtime. It loads a driver plug-in file, prints what the driver says of
// itself, and, given a connection text, connects and runs the reads and writes named on its
// command line, printing values and result codes.
//
//   drvhost PLUGIN [--connect TEXT] [--station N] [--debug] [read ADDR TYPE [COUNT]] [write ADDR TYPE V1,V2,...] ...
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include "CDriveBaseClass.h"
#include "PluginLoader.h"
#include "ValueText.h"

namespace {

QTextStream out(stdout);
QTextStream err(stderr);

const char *resultText(int code)
{
    static const char *const texts[] = {
        "ok", "not tried", "type not supported", "no known area", "count out of range",
        "address out of range", "write into inputs", "wrong answer", "no answer", "link not up"};
    return code >= 0 && code <= 9 ? texts[code] : "unknown";
}

int usage()
{
    err << "usage: drvhost PLUGIN [--connect TEXT] [--station N] [--debug]\n"
           "               [read ADDRESS TYPE [COUNT]] [write ADDRESS TYPE V1,V2,...] ...\n"
           "TYPE: Bool Int8 UInt8 Int16 UInt16 Int32 UInt32 Float Int64 UInt64 Double (or 1..11)\n";
    return 2;
}

void printResult(const char *op, CLabelVariable &r, const QString &shown)
{
    out << QString::asprintf("%-6s %-14s %-7s x%-3d -> %d %-20s ", op, qPrintable(r.address),
                             qPrintable(ValueText::typeName(r.type)), r.count, r.resultCode,
                             resultText(r.resultCode))
        << shown << "\n";
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first().startsWith(QLatin1String("-")))
        return usage();

    const QString file = args.takeFirst();
    QString connectText;
    QString station;
    bool debug = false;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString opt = args.takeFirst();
        if (opt == QLatin1String("--debug")) {
            debug = true;
        } else if ((opt == QLatin1String("--connect") || opt == QLatin1String("--station")) && !args.isEmpty()) {
            (opt == QLatin1String("--connect") ? connectText : station) = args.takeFirst();
        } else {
            return usage();
        }
    }

    registerLabelVariableTypes();
    PluginLoader loader(file);
    if (!loader.load()) {
        err << "drvhost: " << loader.errorString() << "\n";
        return 1;
    }
    CDriveBaseClass *drv = loader.createDriver();
    out << "plug-in  " << file << "\n"
        << "drive    " << drv->getDriveName() << " | " << drv->getversion_number() << " | "
        << drv->DebugCmd(GetVersion) << "\n";
    out.flush();
    if (debug)
        drv->DebugCmd(StartDebug);

    int status = 0;
    if (!station.isEmpty())
        out << "station  " << drv->SetConnectPar(station) << "\n";
    if (!connectText.isEmpty()) {
        const int rc = drv->ConnectDrive(connectText);
        out << "connect  " << connectText << " -> " << rc << (rc == 0 ? " ready" : " failed") << "\n";
        out.flush();
        if (rc != 0)
            status = 1;
    }

    while (status == 0 && !args.isEmpty()) {
        const QString op = args.takeFirst();
        if (op == QLatin1String("read") && args.size() >= 2) {
            const QString address = args.takeFirst();
            const int type = ValueText::typeFromName(args.takeFirst());
            int count = 1;
            if (!args.isEmpty() && !args.first().isEmpty() && args.first().at(0).isDigit())
                count = args.takeFirst().toInt();
            CLabelVariable r = drv->ReadVariable(address, DataType(type), count);
            printResult("read", r, r.resultCode == 0 ? ValueText::formatValues(type, r) : QString());
        } else if (op == QLatin1String("write") && args.size() >= 3) {
            const QString address = args.takeFirst();
            const int type = ValueText::typeFromName(args.takeFirst());
            const QString text = args.takeFirst();
            CLabelVariable v;
            QString error;
            if (!ValueText::parseValues(type, text, &v, &error)) {
                err << "drvhost: " << error << "\n";
                status = 2;
                break;
            }
            const int count = text.split(QLatin1Char(',')).size();
            CLabelVariable r = drv->WriteVariable(address, DataType(type), v, count);
            printResult("write", r, ValueText::formatValues(type, r));
        } else {
            status = usage();
        }
    }

    if (!connectText.isEmpty())
        out << "disconnect -> " << drv->DisConnectDrive() << "\n";
    out << "release    -> " << drv->DestroyFree() << "\n";
    out.flush();
    PluginLoader::destroyDriver(drv);
    return status;
}
