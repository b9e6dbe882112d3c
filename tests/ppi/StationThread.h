// Runs a PPI station on a memory of its own in a thread of its own: the driver under test blocks
// its thread in its waits, so the station must not share it.
#ifndef STATIONTHREAD_H
#define STATIONTHREAD_H

#include <QSemaphore>
#include <QString>
#include <QThread>

#include "PlcMemory.h"
#include "PpiStation.h"

class StationThread : public QThread
{
public:
    enum class Medium { Gateway, Pty };

    // ptyLink: where the station links its pseudo-terminal (Medium::Pty only).
    StationThread(Medium medium, int stationAddress = 2, const QString &ptyLink = QString())
        : medium(medium), address(stationAddress), link(ptyLink)
    {
        start();
        ready.acquire();
    }
    ~StationThread() override
    {
        quit();
        wait();
    }

    bool ok() const { return started; }
    quint16 port() const { return tcpPort; }
    PlcMemory memory;
    PpiStation *station = nullptr;    // thread-safe parts only: setters, receivedFrames

protected:
    void run() override
    {
        PpiStation s(&memory, address);
        station = &s;
        started = medium == Medium::Gateway ? s.listenTcp(0) : s.openPty(link);
        tcpPort = s.tcpPort();
        ready.release();
        exec();
        station = nullptr;
    }

private:
    Medium medium;
    int address;
    QString link;
    QSemaphore ready;
    bool started = false;
    quint16 tcpPort = 0;
};

#endif // STATIONTHREAD_H
