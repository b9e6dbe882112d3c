// Reads through a driver plug-in loaded as a host loads it (dlopen, getSharedLibrary, then only
// CDriveBaseClass), side by side with a minimal blocking socket client on the same simulator and
// the same wire: the client is the floor, the ratio is what the driver costs on top of it.
// plcsim runs as a separate process, so this process's CPU clock counts the client side only.
//
//   bench_host_read [--reads N] [--only s7|ppi] [--bytes N] [--driver-only] [--plcsim PATH]
//                   [--korvane PATH] [--pellimor PATH]
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <functional>
#include <vector>

#include "CDriveBaseClass.h"
#include "MinimalClients.h"
#include "PlcsimProcess.h"
#include "PluginLoader.h"
#include "ReadSamples.h"

namespace {

constexpr int WarmUpReads = 50;
// The readers of a row take turns in blocks of this many reads, so a change of the machine's
// load falls on all of them alike.
constexpr int BlockReads = 100;
// A PPI answer frame carries at most this many data bytes.
constexpr int MaxPpiReadBytes = 234;

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 2);
}

struct Row {
    ReadSamples floor;
    ReadSamples driver;
};

// One reader of a row: the minimal client or the plug-in.
struct Reader {
    std::function<bool()> read;
    ReadSamples *samples;
};

// Runs `reads` timed reads of each reader (after a warm-up), all of them taking turns in blocks.
bool measure(int reads, const std::vector<Reader> &readers)
{
    for (int i = 0; i < WarmUpReads; ++i)
        for (const Reader &r : readers)
            if (!r.read())
                return false;
    for (const Reader &r : readers)
        r.samples->reserve(size_t(reads));
    for (int done = 0; done < reads; done += BlockReads) {
        const int block = qMin(BlockReads, reads - done);
        for (const Reader &r : readers)
            for (int i = 0; i < block; ++i)
                if (!timeRead(*r.samples, r.read))
                    return false;
    }
    return true;
}

void printHeader()
{
    std::printf("%-28s %12s %10s %12s %10s\n", "(microseconds per read)", "wall median", "wall p90",
                "CPU median", "CPU p90");
}

void printLine(const char *what, const ReadSamples &s)
{
    std::printf("  %-26s %12.1f %10.1f %12.1f %10.1f\n", what, s.wallMedian(), s.wallP90(), s.cpuMedian(),
                s.cpuP90());
}

void printRow(const char *title, const char *pluginName, const Row &row, bool withFloor)
{
    std::printf("%s\n", title);
    if (withFloor)
        printLine("minimal socket client", row.floor);
    printLine(pluginName, row.driver);
    if (withFloor) {
        std::printf("  %-26s %11.2fx %9.2fx %11.2fx %9.2fx\n", "plug-in / client",
                    row.driver.wallMedian() / row.floor.wallMedian(), row.driver.wallP90() / row.floor.wallP90(),
                    row.driver.cpuMedian() / row.floor.cpuMedian(), row.driver.cpuP90() / row.floor.cpuP90());
    }
    std::fflush(stdout);    // ahead of the drivers' own lines on stderr
}

struct Plugin {
    PluginLoader loader;
    CDriveBaseClass *driver = nullptr;
    explicit Plugin(const QString &file) : loader(file) {}
    ~Plugin()
    {
        if (driver) {
            driver->DisConnectDrive();
            driver->DestroyFree();
            PluginLoader::destroyDriver(driver);
        }
    }
    bool open(const QString &station, const QString &connection)
    {
        if (!loader.load()) {
            std::fprintf(stderr, "bench_host_read: %s\n", qPrintable(loader.errorString()));
            return false;
        }
        driver = loader.createDriver();
        if (!driver)
            return false;
        driver->SetConnectPar(station);
        if (driver->ConnectDrive(connection) != 0) {
            std::fprintf(stderr, "bench_host_read: %s cannot connect to %s\n", qPrintable(driver->getDriveName()),
                         qPrintable(connection));
            return false;
        }
        return true;
    }
};

std::function<bool()> driverRead(CDriveBaseClass *driver, const QString &address, int count)
{
    return [driver, address, count] { return driver->ReadVariable(address, UInt8, count).resultCode == 0; };
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Driver plug-ins against a minimal socket client on plcsim."));
    parser.addHelpOption();
    const QCommandLineOption readsOption(QStringLiteral("reads"), QStringLiteral("Timed reads per row (default 2000)."),
                                         QStringLiteral("N"), QStringLiteral("2000"));
    const QCommandLineOption onlyOption(QStringLiteral("only"), QStringLiteral("Run only s7 or ppi."), QStringLiteral("DRIVER"));
    const QCommandLineOption bytesOption(QStringLiteral("bytes"), QStringLiteral("Only reads of N bytes."),
                                         QStringLiteral("N"));
    const QCommandLineOption driverOnlyOption(QStringLiteral("driver-only"),
                                              QStringLiteral("No minimal client (for profiling the driver)."));
    const QCommandLineOption plcsimOption(QStringLiteral("plcsim"), QStringLiteral("The simulator program."),
                                          QStringLiteral("PATH"), QStringLiteral(PLCSIM_PATH));
    const QCommandLineOption korvaneOption(QStringLiteral("korvane"), QStringLiteral("The S7 plug-in file."),
                                           QStringLiteral("PATH"), QStringLiteral(KORVANE_PATH));
    const QCommandLineOption pellimorOption(QStringLiteral("pellimor"), QStringLiteral("The PPI plug-in file."),
                                            QStringLiteral("PATH"), QStringLiteral(PELLIMOR_PATH));
    parser.addOptions({readsOption, onlyOption, bytesOption, driverOnlyOption, plcsimOption, korvaneOption, pellimorOption});
    parser.process(app);

    const int reads = parser.value(readsOption).toInt();
    const bool withFloor = !parser.isSet(driverOnlyOption);
    const bool runS7 = parser.value(onlyOption) != QLatin1String("ppi");
    const bool runPpi = parser.value(onlyOption) != QLatin1String("s7");
    const int onlyBytes = parser.value(bytesOption).toInt();
    const auto wanted = [onlyBytes](int bytes) { return onlyBytes <= 0 || bytes == onlyBytes; };
    if (reads < 1) {
        std::fprintf(stderr, "bench_host_read: --reads wants a positive number\n");
        return 2;
    }
    registerLabelVariableTypes();       // as the host does before it loads a plug-in

    PlcsimProcess plcsim(parser.value(plcsimOption));
    if (!plcsim.start()) {
        std::fprintf(stderr, "bench_host_read: %s\n", qPrintable(plcsim.errorString()));
        return 1;
    }
    std::printf("bench_host_read: %d timed reads per line, plcsim (pid %lld) on loopback, load average %s\n",
                reads, plcsim.pid(), qPrintable(loadAverage()));
    printHeader();

    Plugin korvane(parser.value(korvaneOption));
    Plugin pellimor(parser.value(pellimorOption));
    MinimalS7Client s7Client;
    MinimalPpiClient ppiClient;
    if (runS7 && (!korvane.open(QStringLiteral("1"), QStringLiteral("127.0.0.1:%1").arg(plcsim.s7Port))
                  || (withFloor && !s7Client.connect(plcsim.s7Port)))) {
        std::fprintf(stderr, "bench_host_read: no S7 connection\n");
        return 1;
    }
    if (runPpi && (!pellimor.open(QStringLiteral("2"), QStringLiteral("127.0.0.1:%1").arg(plcsim.ppiPort))
                   || (withFloor && !ppiClient.connect(plcsim.ppiPort)))) {
        std::fprintf(stderr, "bench_host_read: no PPI connection\n");
        return 1;
    }

    // All readers of one read size take turns, so the S7 and PPI figures of a size are measured
    // under the same load and can be compared.
    for (const int bytes : {2, 200, 462}) {
        if (!wanted(bytes))
            continue;
        const bool s7 = runS7;
        const bool ppi = runPpi && bytes <= MaxPpiReadBytes;
        if (!s7 && !ppi)
            continue;
        Row s7Row, ppiRow;
        std::vector<Reader> readers;
        if (s7) {
            s7Client.prepare(bytes);
            if (withFloor)
                readers.push_back({[&s7Client] { return s7Client.read(); }, &s7Row.floor});
            readers.push_back({driverRead(korvane.driver, QStringLiteral("DB1.DBB0"), bytes), &s7Row.driver});
        }
        if (ppi) {
            ppiClient.prepare(bytes);
            if (withFloor)
                readers.push_back({[&ppiClient] { return ppiClient.read(); }, &ppiRow.floor});
            readers.push_back({driverRead(pellimor.driver, QStringLiteral("V100"), bytes), &ppiRow.driver});
        }
        if (!measure(reads, readers)) {
            std::fprintf(stderr, "bench_host_read: a read of %d bytes failed\n", bytes);
            return 1;
        }
        if (s7) {
            const QByteArray title = QStringLiteral("S7 read of %1 bytes (DB1.DBB0)").arg(bytes).toLatin1();
            printRow(title.constData(), "libKorvane.so.1", s7Row, withFloor);
        }
        if (ppi) {
            const QByteArray title = QStringLiteral("PPI read of %1 bytes over the gateway (V100)").arg(bytes).toLatin1();
            printRow(title.constData(), "libPellimor.so.1", ppiRow, withFloor);
        }
        if (s7 && ppi) {
            std::printf("  %-26s %36.2fx\n", "PPI CPU / S7 CPU", ppiRow.driver.cpuMedian() / s7Row.driver.cpuMedian());
            std::fflush(stdout);
        }
    }
    std::printf("load average at the end %s\n", qPrintable(loadAverage()));
    return 0;
}
