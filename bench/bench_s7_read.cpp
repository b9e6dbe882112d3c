// Median wall time and CPU time of one S7 read through the facade, against the simulator's S7
// server running in a thread of its own on loopback. The CPU time is the whole process's, so it
// includes the server's share of the exchange. The last run reads a block whose answer comes
// behind 1 MiB of stray answers with another reference, which the driver must skip.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <vector>

#include "SimulatorThreads.h"
#include "korvane.h"

namespace {

constexpr int WarmUp = 20;
constexpr int DefaultRounds = 200;

qint64 cpuNanoseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

double medianMicroseconds(std::vector<qint64> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    const double mid = n % 2 ? double(samples[n / 2]) : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
    return mid / 1000.0;
}

// Returns false when a read failed.
bool measure(Korvane &driver, const QString &address, int bytes, QTextStream &out,
             int Rounds = DefaultRounds, int warmUp = WarmUp)
{
    for (int i = 0; i < warmUp; ++i)
        if (driver.ReadVariable(address, UInt8, bytes).resultCode != 0)
            return false;
    std::vector<qint64> wall, cpu;
    wall.reserve(Rounds);
    cpu.reserve(Rounds);
    QElapsedTimer clock;
    for (int i = 0; i < Rounds; ++i) {
        const qint64 cpuStart = cpuNanoseconds();
        clock.start();
        const int code = driver.ReadVariable(address, UInt8, bytes).resultCode;
        wall.push_back(clock.nsecsElapsed());
        cpu.push_back(cpuNanoseconds() - cpuStart);
        if (code != 0)
            return false;
    }
    out << QStringLiteral("read of %1 bytes%5: median wall %2 us, median CPU %3 us (%4 reads)\n")
               .arg(bytes, 3)
               .arg(medianMicroseconds(wall), 0, 'f', 1)
               .arg(medianMicroseconds(cpu), 0, 'f', 1)
               .arg(Rounds)
               .arg(address.startsWith(QLatin1String("DB60013")) ? QStringLiteral(" behind 1 MiB of stray answers")
                                                                : QString());
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    SimulatorThread sim;
    Korvane driver;
    if (sim.port == 0 || driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(sim.port)) != 0) {
        out << "bench_s7_read: no connection to the simulator\n";
        return 1;
    }
    const bool ok = measure(driver, QStringLiteral("DB1.DBB0"), 2, out)
                    && measure(driver, QStringLiteral("DB1.DBB0"), 200, out)
                    && measure(driver, QStringLiteral("DB60013.DBB0"), 2, out, 10, 1);
    out.flush();
    driver.DestroyFree();
    if (!ok) {
        out << "bench_s7_read: a read failed\n";
        return 1;
    }
    return 0;
}
