// Median wall time and CPU time of one 4000-byte S7 read through the facade, against a plcsim
// process on loopback that grants a PDU of 240 bytes (19 jobs per read) and of 960 (5 jobs).
// The server runs in its own process, so the CPU time is the driver's alone.
//   bench_s7_large [reads]      (default 100 reads per PDU length)
#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "ReadSamples.h"
#include "korvane.h"

namespace {

constexpr int Bytes = 4000;
constexpr int WarmUp = 5;

// Starts plcsim granting `pdu`; returns its S7 port, 0 when it did not come up.
int startSimulator(QProcess &sim, int pdu)
{
    const QString plcsim = qEnvironmentVariable("PLCSIM", QStringLiteral(PLCSIM_PATH));
    sim.start(plcsim, {QStringLiteral("--s7-port"), QStringLiteral("0"), QStringLiteral("--pdu"), QString::number(pdu)});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000))
        return 0;
    const QString line = QString::fromLocal8Bit(sim.readLine());
    const QRegularExpressionMatch port = QRegularExpression(QStringLiteral(":(\\d+)\\s*$")).match(line);
    return port.hasMatch() ? port.captured(1).toInt() : 0;
}

bool measure(int pdu, int reads)
{
    QProcess sim;
    const int port = startSimulator(sim, pdu);
    Korvane driver;
    if (port == 0 || driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(port)) != 0) {
        std::fprintf(stderr, "bench_s7_large: no connection to plcsim --pdu %d\n", pdu);
        return false;
    }
    ReadSamples warm;
    ReadSamples samples;
    for (int i = 0; i < WarmUp + reads; ++i) {
        int code = 0;
        timeRead(i < WarmUp ? warm : samples, [&] {
            code = driver.ReadVariable(QStringLiteral("DB1.DBB0"), UInt8, Bytes).resultCode;
            return code == 0;
        });
        if (code != 0) {
            std::fprintf(stderr, "bench_s7_large: read %d at PDU %d failed with code %d\n", i, pdu, code);
            return false;
        }
    }
    const int capacity = driver.transport.pduLength() - 18;
    std::printf("S7 %d-byte read at PDU %d (%d jobs), %d reads: median wall %.1f us, median CPU %.1f us\n",
                Bytes, driver.transport.pduLength(), (Bytes + capacity - 1) / capacity, reads,
                samples.wallMedian(), samples.cpuMedian());
    driver.DisConnectDrive();
    driver.DestroyFree();
    sim.terminate();
    if (!sim.waitForFinished(2000))
        sim.kill();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int reads = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100;
    const bool ok = measure(240, reads) && measure(960, reads);
    return ok ? 0 : 1;
}
