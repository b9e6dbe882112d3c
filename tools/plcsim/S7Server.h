// Placeholder until the S7 server lands.
#ifndef S7SERVER_H
#define S7SERVER_H
#include <QObject>
class PlcMemory;
class S7Server : public QObject
{
    Q_OBJECT
public:
    explicit S7Server(PlcMemory *memory, QObject *parent = nullptr) : QObject(parent), memory(memory) {}
    bool listen(quint16 port) { Q_UNUSED(port); return false; }
    quint16 serverPort() const { return 0; }
private:
    PlcMemory *memory;
};
#endif
