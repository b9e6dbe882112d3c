#include "korvane.h"

#include <QDebug>

#include "AddressGrammar.h"
#include "S7ConnectionText.h"

namespace {

const char DriveName[] = "Siemens_S7";
const char VersionNumber[] = "V1.8.4 20230505";
const char VersionTemplate[] = "v1.8.4 %1 %2";
const DriverIdentity::Texts Texts = {DriveName, VersionNumber, DriverIdentity::cachedVersionText<VersionTemplate>};

constexpr int HighestByteAddress = 65535;
// The most one call carries; larger ranges than one job holds go out as several jobs.
constexpr int MaxReadBytes = 0xFFFF;
constexpr int MaxWriteBytes = 0xFFFF;

// The S7 driver's side of the checks both drivers share.
const RequestCheck::Rules Rules = {
    ResultCode::BadAddress,     // a text without area keyword reads as byte address -1
    1,                          // a read asks for at least one element
    0,                          // a write of no elements is sent as such
    HighestByteAddress,
    HighestByteAddress,
    MaxReadBytes,
    MaxWriteBytes,
};

} // namespace

Korvane::Korvane()
    : DriverFacade(Texts, Rules, false)
{
}

int Korvane::DisConnectDrive()
{
    return transport.DisConnectDrive();
}

int Korvane::ConnectDrive(QString par)
{
    if (!takeCodePage(&par))
        return transport.dropLink(-1);
    const S7ConnectionText::Parsed text = S7ConnectionText::parse(par);
    ipAddress = text.ip;
    ipPort = text.port;
    if (!text.valid) {
        if (text.fieldRefused)
            qWarning().noquote() << QStringLiteral("lib[Siemens_S7]连接参数无效 %1=%2").arg(text.refusedKey, text.refusedValue);
        // A refused text, too, leaves no link open behind it.
        return transport.dropLink(-1);
    }
    transport.localTsap = text.localTsap;
    transport.remoteTsap = text.remoteTsap;
    return transport.ConnectDrive(ipAddress, ipPort);
}

int Korvane::SetConnectPar(QString par)
{
    connectPar = par.toUInt();
    return int(connectPar);
}

int Korvane::getmodule_bit(QString address, AreaType)
{
    return AddressGrammar::bitNumber(address);
}
