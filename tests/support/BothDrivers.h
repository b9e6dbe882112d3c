// Both facades, each connected to a simulated PLC of its own, under the names the tables' driver
// column gives them: "s7"; "ppi" over the TCP gateway; "ppi pty" over a pseudo-terminal. Tests
// reach them through the host's interface only.
#ifndef BOTHDRIVERS_H
#define BOTHDRIVERS_H

#include <QTemporaryDir>

#include <memory>

#include "SimulatorThreads.h"
#include "korvane.h"
#include "pellimor.h"

class BothDrivers
{
public:
    // False when a simulated PLC did not start or a driver did not connect.
    bool start(bool withPty = false)
    {
        gateway = std::make_unique<StationThread>(StationThread::Medium::Gateway);
        if (withPty)
            pty = std::make_unique<StationThread>(StationThread::Medium::Pty, 2, ptyPath());
        if (sim.port == 0 || !gateway->ok() || (withPty && !pty->ok()) || !connectS7(sim.server->pduSize()))
            return false;
        ppi = std::make_unique<Pellimor>();
        ppi->SetConnectPar(QStringLiteral("2"));
        if (ppi->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(gateway->port())) != 0)
            return false;
        if (!withPty)
            return true;
        ppiPty = std::make_unique<Pellimor>();
        ppiPty->SetConnectPar(QStringLiteral("2"));
        return ppiPty->ConnectDrive(ptyPath() + QStringLiteral(",9600,8,1,E")) == 0;
    }
    // The S7 driver afresh, connected at the PDU length the simulator grants from now on.
    bool connectS7(int pdu)
    {
        sim.server->setPduSize(pdu);
        s7 = std::make_unique<Korvane>();
        return s7->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(sim.port)) == 0;
    }
    static bool isS7(const QString &which) { return which == QLatin1String("s7"); }
    CDriveBaseClass *driver(const QString &which)
    {
        if (isS7(which))
            return s7.get();
        return which == QLatin1String("ppi pty") ? ppiPty.get() : ppi.get();
    }
    PlcMemory &memory(const QString &which) { return isS7(which) ? sim.memory : station(which).memory; }
    // Frames that have reached the PLC; counts on whenever anything is sent.
    qint64 framesReceived(const QString &which)
    {
        return isS7(which) ? sim.server->jobCount() : station(which).station->receivedFrameCount();
    }
    // The job frames the PLC has received since markJobs(), and whether each fits `pdu` bytes.
    void markJobs(const QString &which)
    {
        if (isS7(which))
            s7JobsAtMark = sim.server->jobCount();
        else
            station(which).station->clearReceivedFrames();
    }
    int jobsSinceMark(const QString &which)
    {
        return isS7(which) ? sim.server->jobCount() - s7JobsAtMark : ppiJobs(which).size();
    }
    bool jobsFit(const QString &which, int pdu)
    {
        // The S7 server keeps only the last job, with its TPKT and COTP headers.
        if (isS7(which))
            return sim.server->lastJob().size() <= 7 + pdu;
        // LE counts DA, SA and FC besides the PDU.
        for (const QByteArray &job : ppiJobs(which))
            if (quint8(job.at(1)) - 3 > pdu)
                return false;
        return true;
    }
    QByteArray stored(const QString &which, int area, int db, int at, int size)
    {
        QByteArray b;
        memory(which).read(area, db, at, size, &b);
        return b;
    }

    SimulatorThread sim;
    std::unique_ptr<StationThread> gateway;
    std::unique_ptr<StationThread> pty;

private:
    StationThread &station(const QString &which) { return which == QLatin1String("ppi pty") ? *pty : *gateway; }
    QString ptyPath() const { return dir.filePath(QStringLiteral("tty")); }
    // Variable frames of the send-and-request kind.
    QList<QByteArray> ppiJobs(const QString &which)
    {
        QList<QByteArray> out;
        for (const QByteArray &f : station(which).station->receivedFrames())
            if (f.size() > 6 && quint8(f.at(0)) == 0x68 && (quint8(f.at(6)) & 0x0F) == 0x0C)
                out << f;
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<Korvane> s7;
    std::unique_ptr<Pellimor> ppi;
    std::unique_ptr<Pellimor> ppiPty;
    int s7JobsAtMark = 0;
};

#endif // BOTHDRIVERS_H
