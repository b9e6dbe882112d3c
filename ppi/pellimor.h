// Pellimor: the PPI driver the host runtime drives through CDriveBaseClass. What it shares with
// the S7 facade (the checks, the codec, the jobs, the result codes) is DriverFacade's and the
// RequestPipeline's; here are its texts, its rules, its two forms of connection text and the
// station address. The link and the frames are CmdSiemens_PPI's.
#ifndef PELLIMOR_H
#define PELLIMOR_H

#include <QObject>
#include <QString>

#include "CmdSiemens_PPI.h"
#include "DriverFacade.h"

class Pellimor : public QObject, public DriverFacade<CmdSiemens_PPI>
{
    Q_OBJECT
    Q_INTERFACES(CDriveBaseClass)
public:
    // Read: byte address + count must stay below this; write: at or below WriteAddressLimit.
    static constexpr int ReadAddressLimit = 65536;
    static constexpr int WriteAddressLimit = 8000;
    // The most bytes one read or write carries, in as many jobs as it takes.
    static constexpr int MaxTransferBytes = 0xFFFF;

    Pellimor();

    // A serial text (port, baud rate, data bits, stop bits, parity) or a gateway's address:port,
    // each optionally followed by ",master=N" (PpiConnectionText). A station outside 1..126
    // gives -1 with a warning that names it.
    int ConnectDrive(QString par) override;
    // The station address of the PLC: greeted at the next connect, addressed from the next request.
    int SetConnectPar(QString par) override;
    int DisConnectDrive() override;
    int getmodule_num(QString address, AreaType area);

private:
    int connectText(QString par);
    int connectSerial(const QString &par);
    int connectEthernet(const QString &par);

    QString portName;
    int baudRate = 0;
    int dataBits = 0;
    int stopBits = 0;
    QString parity;
    QString ipAddress;
    int ipPort = 0;
};

#endif // PELLIMOR_H
