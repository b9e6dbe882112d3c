// Median wall time and CPU time of one 2-byte read (request, 0xE5, poll, answer) through the PPI
// gateway of a plcsim process on loopback. The station runs in its own process, so the process
// CPU clock of this program counts the driver alone: a driver that waited by spinning would show
// a CPU time close to its wall time.
#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "pellimor.h"

namespace {

double now(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;      // microseconds
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int warmUp = 5;
    const int reads = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    const QString plcsim = qEnvironmentVariable("PLCSIM", QStringLiteral(PLCSIM_PATH));

    QProcess station;
    station.start(plcsim, {QStringLiteral("--ppi-port"), QStringLiteral("0"), QStringLiteral("--station"), QStringLiteral("2")});
    if (!station.waitForStarted(5000) || !station.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench_ppi_read: cannot start %s\n", qPrintable(plcsim));
        return 1;
    }
    const QString line = QString::fromLocal8Bit(station.readLine());
    const QRegularExpressionMatch port = QRegularExpression(QStringLiteral(":(\\d+)\\s*$")).match(line);
    if (!port.hasMatch()) {
        std::fprintf(stderr, "bench_ppi_read: unexpected station line: %s\n", qPrintable(line));
        return 1;
    }

    Pellimor driver;
    driver.SetConnectPar(QStringLiteral("2"));
    if (driver.ConnectDrive(QStringLiteral("127.0.0.1:") + port.captured(1)) != 0) {
        std::fprintf(stderr, "bench_ppi_read: cannot connect to the station\n");
        return 1;
    }
    // address, reads: a plain read, and one whose answer the station sends in four pieces 20 ms
    // apart (DB 9006): its wall time is mostly waiting, which must cost no CPU time.
    const struct { const char *address; int count; const char *what; } runs[] = {
        {"V100", reads, "2-byte read"},
        {"DB9006.DBW0", 20, "2-byte read, answer in 4 pieces 20 ms apart"},
    };
    for (const auto &run : runs) {
        std::vector<double> wall;
        std::vector<double> cpu;
        for (int i = 0; i < warmUp + run.count; ++i) {
            const double w0 = now(CLOCK_MONOTONIC);
            const double c0 = now(CLOCK_PROCESS_CPUTIME_ID);
            const CLabelVariable r = driver.ReadVariable(QString::fromLatin1(run.address), UInt16, 1);
            const double c1 = now(CLOCK_PROCESS_CPUTIME_ID);
            const double w1 = now(CLOCK_MONOTONIC);
            if (r.resultCode != 0) {
                std::fprintf(stderr, "bench_ppi_read: read %d of %s failed with code %d\n", i, run.address, r.resultCode);
                return 1;
            }
            if (i >= warmUp) {
                wall.push_back(w1 - w0);
                cpu.push_back(c1 - c0);
            }
        }
        std::printf("PPI %s over the gateway, %d reads: median wall %.1f us, median CPU %.1f us\n",
                    run.what, run.count, median(wall), median(cpu));
    }
    driver.DisConnectDrive();
    driver.DestroyFree();
    station.kill();
    station.waitForFinished(2000);
    return 0;
}
