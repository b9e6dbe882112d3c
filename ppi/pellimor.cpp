#include "pellimor.h"

#include <QDebug>

#include <climits>

#include "AddressGrammar.h"
#include "PpiConnectionText.h"

namespace {

const char DriveName[] = "Siemens_PPI";
const char VersionNumber[] = "V1.0.0 20200621";
const char VersionTemplate[] = "v1.0.0 %1 %2";
const DriverIdentity::Texts Texts = {DriveName, VersionNumber, DriverIdentity::cachedVersionText<VersionTemplate>};

// The fields of the serial form are taken one by one from the front of the text.
class FieldCutter
{
public:
    explicit FieldCutter(const QString &text) : rest(text) {}
    QString field() const
    {
        const int comma = rest.indexOf(QLatin1Char(','));
        return comma < 0 ? rest : rest.left(comma);
    }
    void cut()
    {
        const int comma = rest.indexOf(QLatin1Char(','));
        if (comma >= 0)
            rest = rest.mid(comma + 1);
    }

private:
    QString rest;
};

// The PPI driver's side of the checks both drivers share.
const RequestCheck::Rules Rules = {
    ResultCode::BadArea,        // a text without area keyword names no area
    0,                          // a read of no elements is sent as such
    1,                          // a write carries at least one element
    Pellimor::ReadAddressLimit - 1,
    Pellimor::WriteAddressLimit,
    Pellimor::MaxTransferBytes, // in as many jobs as it takes
    Pellimor::MaxTransferBytes,
    true,                       // strings in S7-200 layout
};

} // namespace

Pellimor::Pellimor()
    : DriverFacade(Texts, Rules, true)
{
}

int Pellimor::SetConnectPar(QString par)
{
    // A number beyond int is no station either: it is kept as -1, which no check lets through.
    bool ok = false;
    const unsigned number = par.toUInt(&ok, 10);
    transport.setStation(!ok ? 0 : number > unsigned(INT_MAX) ? -1 : int(number));
    return transport.station();
}

int Pellimor::ConnectDrive(QString par)
{
    // A connect from a host slot inside a running call would pull the link from under it, and
    // a read from a slot inside the greeting would speak in the middle of it.
    return exclusive(QStringLiteral("ConnectDrive"), -1, [&] { return connectText(par); });
}

int Pellimor::connectText(QString par)
{
    if (!takeCodePage(&par))
        return transport.dropLink(-1);
    const PpiConnectionText::Parsed text = PpiConnectionText::parse(par);
    if (!text.valid) {
        qWarning().noquote() << QStringLiteral("lib[Siemens_PPI]连接参数无效 %1=%2").arg(text.refusedKey, text.refusedValue);
        return transport.dropLink(-1);
    }
    transport.setMaster(text.master);
    if (text.link.contains(QLatin1Char(',')))
        return connectSerial(text.link);
    if (text.link.contains(QLatin1Char(':')))
        return connectEthernet(text.link);
    // A refused text, too, leaves no link open behind it.
    return transport.dropLink(-4);
}

int Pellimor::connectSerial(const QString &par)
{
    FieldCutter text(par);
    portName = text.field();
    text.cut();
    baudRate = text.field().toInt();
    text.cut();
    dataBits = text.field().toInt();
    text.cut();
    stopBits = text.field().toInt();
    text.cut();
    parity = text.field();
    if (portName.isEmpty() || baudRate == 0 || dataBits == 0 || stopBits == 0)
        return transport.dropLink(-1);
    return transport.serialConnectDrive(portName, baudRate, dataBits, stopBits, parity, transport.station());
}

int Pellimor::connectEthernet(const QString &par)
{
    const int colon = par.indexOf(QLatin1Char(':'));
    ipAddress = par.left(colon);
    ipPort = par.mid(colon + 1).toInt();
    // A port outside the TCP range would otherwise be cut to its low 16 bits: another port.
    if (ipAddress.isEmpty() || ipPort < 1 || ipPort > 65535)
        return transport.dropLink(-1);
    return transport.EthConnectDrive(ipAddress, ipPort, transport.station());
}

int Pellimor::DisConnectDrive()
{
    // Whatever medium is open is the one closed.
    if (transport.hasMedium())
        return transport.EthDisConnectDrive();
    if (ipPort > 0)
        return transport.EthDisConnectDrive();
    if (baudRate < 1 || dataBits == 0 || stopBits == 0)
        return 1;
    return transport.serialDisConnectDrive();
}

int Pellimor::getmodule_num(QString address, AreaType)
{
    return AddressGrammar::bitNumber(address);
}
