// Placeholder until the PPI station lands.
#ifndef PPISTATION_H
#define PPISTATION_H
#include <QObject>
#include <QString>
class PlcMemory;
class PpiStation : public QObject
{
    Q_OBJECT
public:
    PpiStation(PlcMemory *memory, int stationAddress, QObject *parent = nullptr)
        : QObject(parent), memory(memory), station(stationAddress) {}
    bool listenTcp(quint16 port) { Q_UNUSED(port); return false; }
    quint16 tcpPort() const { return 0; }
    bool openPty(const QString &linkPath) { Q_UNUSED(linkPath); return false; }
private:
    PlcMemory *memory;
    int station;
};
#endif
