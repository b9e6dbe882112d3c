// Median wall time and CPU time of one 2-byte read (request, 0xE5, poll, answer) through the PPI
// gateway and over a pseudo-terminal of a plcsim process. The station runs in its own process,
// so the process CPU clock of this program counts the driver alone: a driver that waited by
// spinning would show a CPU time close to its wall time.
#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "ReadSamples.h"
#include "pellimor.h"

namespace {

struct Run {
    const char *address;
    int count;
    const char *what;
};

// Reads each run's address `count` times after a warm-up; false when a read failed.
bool measure(Pellimor &driver, const char *medium, const std::vector<Run> &runs)
{
    const int warmUp = 5;
    for (const Run &run : runs) {
        ReadSamples warm;
        ReadSamples samples;
        for (int i = 0; i < warmUp + run.count; ++i) {
            int code = 0;
            timeRead(i < warmUp ? warm : samples, [&] {
                code = driver.ReadVariable(QString::fromLatin1(run.address), UInt16, 1).resultCode;
                return code == 0;
            });
            if (code != 0) {
                std::fprintf(stderr, "bench_ppi_read: read %d of %s %s failed with code %d\n", i, run.address,
                             medium, code);
                return false;
            }
        }
        std::printf("PPI %s %s, %d reads: median wall %.1f us, median CPU %.1f us\n", run.what, medium,
                    run.count, samples.wallMedian(), samples.cpuMedian());
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int reads = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    const QString plcsim = qEnvironmentVariable("PLCSIM", QStringLiteral(PLCSIM_PATH));
    QTemporaryDir dir;
    const QString ttyLink = dir.filePath(QStringLiteral("ttyPPI"));

    QProcess station;
    station.start(plcsim, {QStringLiteral("--ppi-port"), QStringLiteral("0"), QStringLiteral("--ppi-pty"), ttyLink,
                           QStringLiteral("--station"), QStringLiteral("2")});
    if (!station.waitForStarted(5000)) {
        std::fprintf(stderr, "bench_ppi_read: cannot start %s\n", qPrintable(plcsim));
        return 1;
    }
    // One line for the gateway, one for the pseudo-terminal.
    QString lines;
    while (lines.count(QLatin1Char('\n')) < 2 && station.waitForReadyRead(5000))
        lines += QString::fromLocal8Bit(station.readAll());
    const QRegularExpressionMatch port = QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)")).match(lines);
    if (!port.hasMatch() || !lines.contains(QStringLiteral("serial line"))) {
        std::fprintf(stderr, "bench_ppi_read: unexpected station lines: %s\n", qPrintable(lines));
        return 1;
    }

    // A plain read, and one whose answer the station sends in four pieces 20 ms apart (DB 9006):
    // its wall time is mostly waiting, which must cost no CPU time.
    const std::vector<Run> runs = {
        {"V100", reads, "2-byte read"},
        {"DB9006.DBW0", 20, "2-byte read, answer in 4 pieces 20 ms apart"},
    };
    bool ok = true;
    {
        Pellimor driver;
        driver.SetConnectPar(QStringLiteral("2"));
        if (driver.ConnectDrive(QStringLiteral("127.0.0.1:") + port.captured(1)) != 0) {
            std::fprintf(stderr, "bench_ppi_read: cannot connect to the station's gateway\n");
            return 1;
        }
        ok = measure(driver, "over the gateway", runs);
        driver.DisConnectDrive();
        driver.DestroyFree();
    }
    if (ok) {
        Pellimor driver;
        driver.SetConnectPar(QStringLiteral("2"));
        if (driver.ConnectDrive(ttyLink + QStringLiteral(",9600,8,1,E")) != 0) {
            std::fprintf(stderr, "bench_ppi_read: cannot connect to the station's serial line\n");
            return 1;
        }
        ok = measure(driver, "over a pseudo-terminal", {runs.front()});
        driver.DisConnectDrive();
        driver.DestroyFree();
    }
    station.terminate();
    if (!station.waitForFinished(2000))
        station.kill();
    return ok ? 0 : 1;
}
