#include "pellimor.h"

#include <QDateTime>

#include "AddressGrammar.h"
#include "DriverIdentity.h"
#include "JobSplit.h"
#include "PpiFrames.h"
#include "RequestCheck.h"
#include "S7Pdu.h"

namespace {

const char DriveName[] = "Siemens_PPI";
const char VersionNumber[] = "V1.0.0 20200621";
const char VersionTemplate[] = "v1.0.0 %1 %2";

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
};

} // namespace

Pellimor::Pellimor()
{
    registerLabelVariableTypes();
}

Pellimor::~Pellimor() = default;

QString Pellimor::getDriveName() { return QString::fromLatin1(DriveName); }

QString Pellimor::getversion_number() { return QString::fromLatin1(VersionNumber); }

QString Pellimor::DebugCmd(EDebugCmdType cmd)
{
    return DriverIdentity::debugCommand(cmd, getDriveName(), DriverIdentity::cachedVersionText<VersionTemplate>(),
                                        &transport.debugFlag);
}

int Pellimor::SetConnectPar(QString par)
{
    bool ok = false;
    const unsigned number = par.toUInt(&ok, 10);
    connectPar = ok ? number : 0;
    return int(connectPar);
}

int Pellimor::ConnectDrive(QString par)
{
    if (par.contains(QLatin1Char(',')))
        return connectSerial(par);
    if (par.contains(QLatin1Char(':')))
        return connectEthernet(par);
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
    return transport.serialConnectDrive(portName, baudRate, dataBits, stopBits, parity, int(connectPar));
}

int Pellimor::connectEthernet(const QString &par)
{
    const int colon = par.indexOf(QLatin1Char(':'));
    ipAddress = par.left(colon);
    ipPort = par.mid(colon + 1).toInt();
    // A port outside the TCP range would otherwise be cut to its low 16 bits: another port.
    if (ipAddress.isEmpty() || ipPort < 1 || ipPort > 65535)
        return transport.dropLink(-1);
    return transport.EthConnectDrive(ipAddress, ipPort, int(connectPar));
}

int Pellimor::DisConnectDrive()
{
    if (ipPort > 0)
        return transport.EthDisConnectDrive();
    if (baudRate < 1 || dataBits == 0 || stopBits == 0)
        return 1;
    return transport.serialDisConnectDrive();
}

int Pellimor::DestroyFree() { return transport.DestroyFree(); }

Pellimor::AreaType Pellimor::getArea(QString address)
{
    return AreaType(AddressGrammar::area(address));
}

int Pellimor::getAddr(QString address, AreaType)
{
    return AddressGrammar::byteAddress(address);
}

int Pellimor::getmodule_number(QString address, AreaType)
{
    return AddressGrammar::dbNumber(address, true);
}

int Pellimor::getmodule_num(QString address, AreaType)
{
    return AddressGrammar::bitNumber(address);
}

int Pellimor::getBytelen(DataType type, int count)
{
    return RequestCheck::saturated(AddressGrammar::byteLength(type, count));
}

// A host polls the same texts over and over: each is parsed once.
AddressGrammar::Address Pellimor::parse(const QString &address)
{
    return addresses.get(address, AddressGrammar::parse);
}

CLabelVariable Pellimor::ReadVariable(QString address, DataType type)
{
    return ReadVariable(address, type, 1);
}

CLabelVariable Pellimor::ReadVariable(QString address, DataType type, int count)
{
    CLabelVariable result;
    result.resultCode = ResultCode::NotTried;
    const RequestCheck::Verdict v = RequestCheck::read(parse(address), type, count, Rules);
    if (v.code != ResultCode::Success) {
        result.resultCode = v.code;
        result.timeStamp = stamps.now();    // refused before anything was sent: the time of the call
    } else {
        const RequestCheck::Target &t = v.target;
        result = Read_data(t.byteAddress, t.dbNumber, t.bitNumber, type, count, t.area, address);
    }
    result.address = address;
    result.count = count;
    result.type = type;
    return result;
}

CLabelVariable Pellimor::Read_data(int addr, int db, int bit, DataType type, int count, int area, QString address)
{
    CLabelVariable result;
    result.resultCode = ResultCode::NotTried;
    const int byteLen = RequestCheck::saturated(RequestCheck::readByteLength(type, bit, count));
    QByteArray bytes;
    const int rc = readInJobs(addr, byteLen, &bytes, db, area, address);
    if (rc == 0) {
        result.timeStamp = stamps.now();
        result.resultCode = ResultCode::Success;
        result.value = decodeByType(type, bit, bytes, byteLen);
        if (!result.value.isValid())
            result.resultCode = ResultCode::BadType;
    } else {
        result.resultCode = ResultCode::fromTransport(rc, ResultCode::NotTried);
    }
    return result;
}

CLabelVariable Pellimor::WriteVariable(QString address, DataType type, CLabelVariable value)
{
    return WriteVariable(address, type, value, 1);
}

CLabelVariable Pellimor::WriteVariable(QString address, DataType type, CLabelVariable value, int count)
{
    const RequestCheck::Verdict v = RequestCheck::write(parse(address), type, count, value, Rules);
    if (v.code != ResultCode::Success) {
        value.resultCode = v.code;
    } else {
        const RequestCheck::Target &t = v.target;
        value = Write_data(t.byteAddress, t.dbNumber, t.bitNumber, type, count, value, t.area, address);
        if (t.area == AreaInput)
            value.resultCode = ResultCode::InputWrite;
    }
    value.address = address;
    value.count = count;
    value.type = type;
    return value;
}

CLabelVariable Pellimor::Write_data(int addr, int db, int bit, DataType type, int count, CLabelVariable value,
                                    int area, QString address)
{
    const int byteLen = getBytelen(type, count);
    QByteArray bytes;
    const bool known = encodeByType(type, value, type == Bool ? byteLen : count, &bytes);
    if (!known)
        value.resultCode = ResultCode::BadType;
    const int bitAddress = RequestCheck::saturated(RequestCheck::startBitAddress(type, addr, bit));
    const int rc = type == Bool
        ? transport.WriteCoilsQarea(db, bitAddress, byteLen, int(connectPar), bytes, area, address, true)
        : writeInJobs(bitAddress, bytes, byteLen, db, area, address);
    if (rc == 0)
        value.timeStamp = stamps.now();
    if (known)
        value.resultCode = ResultCode::fromTransport(rc, value.resultCode);
    return value;
}

int Pellimor::readInJobs(int addr, int byteLen, QByteArray *out, int db, int area, const QString &address)
{
    out->reserve(out->size() + byteLen);
    const int capacity = S7Pdu::readCapacity(PpiFrames::JobPduLength);
    return JobSplit::run(byteLen, capacity, [&](int offset, int length) {
        const int at = RequestCheck::saturated(qint64(addr) + offset);
        return transport.Read_area(at, length, out, int(connectPar), db, area, address);
    });
}

int Pellimor::writeInJobs(int bitAddr, const QByteArray &bytes, int byteLen, int db, int area,
                          const QString &address)
{
    const int capacity = S7Pdu::writeCapacity(PpiFrames::JobPduLength);
    return JobSplit::run(byteLen, capacity, [&](int offset, int length) {
        const int at = RequestCheck::saturated(qint64(bitAddr) + qint64(offset) * 8);
        return transport.WriteCoilsQarea(db, at, length, int(connectPar), bytes.mid(offset, length),
                                         area, address);
    });
}
