// Korvane: the S7 driver plug-in's facade. What it shares with the PPI facade (the checks, the
// codec, the jobs, the result codes) is DriverFacade's and the RequestPipeline's; here are its
// texts, its rules and its connection text.
#ifndef KORVANE_H
#define KORVANE_H

#include <QObject>
#include <QString>

#include "CmdSiemens_S7.h"
#include "DriverFacade.h"

class Korvane : public QObject, public DriverFacade<CmdSiemens_S7>
{
    Q_OBJECT
    Q_INTERFACES(CDriveBaseClass)
public:
    Korvane();

    // "IP:port", with optional fields that choose the TSAPs (S7ConnectionText).
    int ConnectDrive(QString par) override;
    int SetConnectPar(QString par) override;
    int DisConnectDrive() override;

    int getmodule_bit(QString address, AreaType area);

    unsigned int connectPar = 1;    // nothing in this plug-in reads it
    QString ipAddress;
    int ipPort = 0;
};

#endif // KORVANE_H
