// Pellimor: the PPI driver the host runtime drives through CDriveBaseClass. It parses the
// connection text and the variable addresses, checks each request, and maps the link's outcomes
// to result codes; the link and the frames are CmdSiemens_PPI's.
#ifndef PELLIMOR_H
#define PELLIMOR_H

#include <QObject>
#include <QString>

#include "AddressGrammar.h"
#include "CDriveBaseClass.h"
#include "CLabelVariable.h"
#include "CmdSiemens_PPI.h"
#include "LocalClock.h"
#include "ParseCache.h"
#include "ValueCodec.h"

class Pellimor : public QObject, public CDriveBaseClass, public ValueCodec
{
    Q_OBJECT
    Q_INTERFACES(CDriveBaseClass)
public:
    enum AreaType { AreaNone = 0, AreaInput = 0x81, AreaOutput = 0x82, AreaFlag = 0x83, AreaDataBlock = 0x84 };

    Pellimor();
    ~Pellimor() override;

    QString getDriveName() override;
    QString getversion_number() override;
    QString DebugCmd(EDebugCmdType cmd) override;
    int DisConnectDrive() override;
    int ConnectDrive(QString par) override;
    int SetConnectPar(QString par) override;
    CLabelVariable ReadVariable(QString address, DataType type) override;
    CLabelVariable ReadVariable(QString address, DataType type, int count) override;
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value) override;
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value, int count) override;
    int DestroyFree() override;

    AreaType getArea(QString address);
    int getAddr(QString address, AreaType area);
    int getmodule_number(QString address, AreaType area);
    int getmodule_num(QString address, AreaType area);
    int getBytelen(DataType type, int count);

    CLabelVariable Read_data(int addr, int db, int bit, DataType type, int count, int area, QString address);
    CLabelVariable Write_data(int addr, int db, int bit, DataType type, int count, CLabelVariable value,
                              int area, QString address);

    // Read: byte address + count must stay below this; write: at or below WriteAddressLimit.
    static constexpr int ReadAddressLimit = 65536;
    static constexpr int WriteAddressLimit = 8000;
    // The most bytes one read or write carries, in as many jobs as it takes.
    static constexpr int MaxTransferBytes = 0xFFFF;

private:
    AddressGrammar::Address parse(const QString &address);
    int connectSerial(const QString &par);
    int connectEthernet(const QString &par);
    // A read or write as consecutive jobs that fit a station's PDU; the transport's result of the
    // first job that fails, or 0.
    int readInJobs(int addr, int byteLen, QByteArray *out, int db, int area, const QString &address);
    int writeInJobs(int bitAddr, const QByteArray &bytes, int byteLen, int db, int area, const QString &address);

    CmdSiemens_PPI transport;
    ParseCache<AddressGrammar::Address> addresses;
    LocalClock stamps;
    unsigned connectPar = 1;
    QString portName;
    int baudRate = 0;
    int dataBits = 0;
    int stopBits = 0;
    QString parity;
    QString ipAddress;
    int ipPort = 0;
};

#endif // PELLIMOR_H
