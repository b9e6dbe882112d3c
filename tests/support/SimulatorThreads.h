// The simulated PLCs, each in a thread of its own: the drivers block their thread in their waits,
// so the peer must run elsewhere. Both are made, served and deleted on that thread.
#ifndef SIMULATORTHREADS_H
#define SIMULATORTHREADS_H

#include <QObject>
#include <QString>
#include <QThread>

#include "PlcMemory.h"
#include "PpiStation.h"
#include "S7Server.h"

// A thread and a way to run code on it, waiting until it has run.
class PeerThread
{
public:
    PeerThread()
    {
        thread.start();
        anchor.moveToThread(&thread);
    }
    ~PeerThread()
    {
        thread.quit();
        thread.wait();
    }

    template<typename F>
    void onPeerThread(F f)
    {
        QMetaObject::invokeMethod(&anchor, f, Qt::BlockingQueuedConnection);
    }

private:
    QThread thread;
    QObject anchor;
};

// The simulator's S7 server, listening on a free loopback port.
class SimulatorThread : public PeerThread
{
public:
    explicit SimulatorThread(S7Server::Refusal refusal = S7Server::Refusal::None)
    {
        onPeerThread([this, refusal] {
            server = new S7Server(&memory);
            server->setRefusal(refusal);
            server->listen(0);
            port = server->serverPort();
        });
    }
    ~SimulatorThread()
    {
        onPeerThread([this] { delete server; });
    }
    PlcMemory memory;
    S7Server *server = nullptr;
    quint16 port = 0;
};

// A PPI station on a TCP gateway or on a pseudo-terminal.
class StationThread : public PeerThread
{
public:
    enum class Medium { Gateway, Pty };

    // ptyLink: where the station links its pseudo-terminal (Medium::Pty only).
    explicit StationThread(Medium medium, int stationAddress = 2, const QString &ptyLink = QString())
    {
        onPeerThread([&] {
            station = new PpiStation(&memory, stationAddress);
            started = medium == Medium::Gateway ? station->listenTcp(0) : station->openPty(ptyLink);
            tcpPort = station->tcpPort();
        });
    }
    ~StationThread()
    {
        onPeerThread([this] {
            delete station;
            station = nullptr;
        });
    }

    bool ok() const { return started; }
    quint16 port() const { return tcpPort; }
    PlcMemory memory;
    PpiStation *station = nullptr;    // thread-safe parts only: setters, receivedFrames

private:
    bool started = false;
    quint16 tcpPort = 0;
};

#endif // SIMULATORTHREADS_H
