// The simulator as a process of its own, serving S7 and a PPI gateway on ports it picks itself:
// the benchmark's process then spends CPU time on the client side of each read only.
#ifndef PLCSIMPROCESS_H
#define PLCSIMPROCESS_H

#include <QProcess>
#include <QString>

class PlcsimProcess
{
public:
    explicit PlcsimProcess(const QString &program);
    ~PlcsimProcess();

    // Starts plcsim with S7 and a PPI gateway (station 2) on free ports and reads both ports
    // from its "listening on" lines.
    bool start();
    QString errorString() const { return error; }
    quint16 s7Port = 0;
    quint16 ppiPort = 0;
    qint64 pid() const { return process.processId(); }

private:
    QString program;
    QProcess process;
    QString error;
};

#endif // PLCSIMPROCESS_H
