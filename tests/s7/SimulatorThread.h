// The simulator's S7 server in a thread of its own: the transports block their thread in socket
// waits, so the peer must run elsewhere.
#ifndef SIMULATORTHREAD_H
#define SIMULATORTHREAD_H

#include <QObject>
#include <QThread>

#include "PlcMemory.h"
#include "S7Server.h"

class SimulatorThread
{
public:
    explicit SimulatorThread(S7Server::Refusal refusal = S7Server::Refusal::None)
    {
        thread.start();
        anchor.moveToThread(&thread);
        onServerThread([this, refusal] {
            server = new S7Server(&memory);
            server->setRefusal(refusal);
            server->listen(0);
            port = server->serverPort();
        });
    }
    ~SimulatorThread()
    {
        onServerThread([this] { delete server; });
        thread.quit();
        thread.wait();
    }

    template<typename F>
    void onServerThread(F f)
    {
        QMetaObject::invokeMethod(&anchor, f, Qt::BlockingQueuedConnection);
    }

    PlcMemory memory;
    S7Server *server = nullptr;
    quint16 port = 0;

private:
    QThread thread;
    QObject anchor;
};

#endif // SIMULATORTHREAD_H
