// Korvane: the S7 driver plug-in's facade. It judges addresses and counts, has the codec turn
// element lists into PLC bytes and back, lets the transport do the exchange, and maps every
// outcome to a result code.
#ifndef KORVANE_H
#define KORVANE_H

#include <QObject>
#include <QString>

#include "AddressGrammar.h"
#include "CDriveBaseClass.h"
#include "CLabelVariable.h"
#include "CmdSiemens_S7.h"
#include "LocalClock.h"
#include "ParseCache.h"
#include "ValueCodec.h"

class Korvane : public QObject, public CDriveBaseClass, public ValueCodec
{
    Q_OBJECT
    Q_INTERFACES(CDriveBaseClass)
public:
    enum AreaType { AreaNone = 0, AreaInput = 0x81, AreaOutput = 0x82, AreaFlag = 0x83, AreaDataBlock = 0x84 };

    Korvane();
    ~Korvane() override;

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
    int getmodule_number(QString address, AreaType area);
    int getAddr(QString address, AreaType area);
    int getmodule_bit(QString address, AreaType area);
    int getBytelen(DataType type, int count);

    CLabelVariable Read_data(int byteAddress, int dbNumber, int bitNumber, DataType type, int count,
                             int area, QString address);
    CLabelVariable Write_data(int byteAddress, int dbNumber, int bitNumber, DataType type, int count,
                              CLabelVariable value, int area, QString address);

    // The most one call carries; larger ranges than one job holds go out as several jobs.
    static constexpr int MaxReadBytes = 0xFFFF;
    static constexpr int MaxWriteBytes = 0xFFFF;

    CmdSiemens_S7 transport;
    unsigned int connectPar = 1;
    QString ipAddress;
    int ipPort = 0;

private:
    AddressGrammar::Address parse(const QString &address);

    ParseCache<AddressGrammar::Address> addresses;
    LocalClock stamps;

    // A byte read or write as consecutive jobs that fit the granted PDU; the transport's result
    // of the first job that fails, or 0.
    int readInJobs(int byteAddress, int byteLength, QByteArray *out, int dbNumber, int area,
                   const QString &address);
    int writeInJobs(int bitAddress, const QByteArray &bytes, int byteLength, int dbNumber, int area,
                    const QString &address);
};

#endif // KORVANE_H
