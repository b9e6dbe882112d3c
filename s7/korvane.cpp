#include "korvane.h"

#include <QDebug>

#include "AddressGrammar.h"
#include "DriverIdentity.h"
#include "JobSplit.h"
#include "RequestCheck.h"
#include "S7ConnectionText.h"
#include "S7Pdu.h"

namespace {

const char *const DriveName = "Siemens_S7";
const char *const VersionNumber = "V1.8.4 20230505";
const char VersionTemplate[] = "v1.8.4 %1 %2";
constexpr int HighestByteAddress = 65535;

bool handledType(int type) { return type >= Bool && type <= Double; }

// The S7 driver's side of the checks both drivers share.
const RequestCheck::Rules Rules = {
    ResultCode::BadAddress,     // a text without area keyword reads as byte address -1
    1,                          // a read asks for at least one element
    0,                          // a write of no elements is sent as such
    HighestByteAddress,
    HighestByteAddress,
    Korvane::MaxReadBytes,
    Korvane::MaxWriteBytes,
};

} // namespace

Korvane::Korvane()
{
    registerLabelVariableTypes();
}

Korvane::~Korvane() = default;

QString Korvane::getDriveName()
{
    return QString::fromLatin1(DriveName);
}

QString Korvane::getversion_number()
{
    return QString::fromLatin1(VersionNumber);
}

QString Korvane::DebugCmd(EDebugCmdType cmd)
{
    return DriverIdentity::debugCommand(cmd, getDriveName(), DriverIdentity::cachedVersionText<VersionTemplate>(),
                                        &transport.debugFlag);
}

int Korvane::DisConnectDrive()
{
    return transport.DisConnectDrive();
}

int Korvane::ConnectDrive(QString par)
{
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

int Korvane::DestroyFree()
{
    return transport.DestroyFree();
}

Korvane::AreaType Korvane::getArea(QString address)
{
    return AreaType(AddressGrammar::area(address));
}

int Korvane::getmodule_number(QString address, AreaType area)
{
    Q_UNUSED(area);
    return AddressGrammar::dbNumber(address, false);
}

int Korvane::getAddr(QString address, AreaType area)
{
    Q_UNUSED(area);
    return AddressGrammar::byteAddress(address);
}

int Korvane::getmodule_bit(QString address, AreaType area)
{
    Q_UNUSED(area);
    return AddressGrammar::bitNumber(address);
}

int Korvane::getBytelen(DataType type, int count)
{
    return RequestCheck::saturated(AddressGrammar::byteLength(type, count));
}

// A host polls the same texts over and over: each is parsed once.
AddressGrammar::Address Korvane::parse(const QString &address)
{
    return addresses.get(address, AddressGrammar::parse);
}

CLabelVariable Korvane::ReadVariable(QString address, DataType type)
{
    return ReadVariable(address, type, 1);
}

CLabelVariable Korvane::ReadVariable(QString address, DataType type, int count)
{
    CLabelVariable result;
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

CLabelVariable Korvane::Read_data(int byteAddress, int dbNumber, int bitNumber, DataType type,
                                  int count, int area, QString address)
{
    CLabelVariable result;
    const int byteLength = RequestCheck::saturated(RequestCheck::readByteLength(type, bitNumber, count));
    QByteArray bytes;
    const int r = readInJobs(byteAddress, byteLength, &bytes, dbNumber, area, address);
    if (r == 0) {
        result.timeStamp = stamps.now();
        result.resultCode = ResultCode::Success;
        if (handledType(type))
            result.value = decodeByType(type, bitNumber, bytes, byteLength);
        else
            result.resultCode = ResultCode::BadType;
    } else {
        result.resultCode = ResultCode::fromTransport(r, result.resultCode);
    }
    return result;
}

CLabelVariable Korvane::WriteVariable(QString address, DataType type, CLabelVariable value)
{
    return WriteVariable(address, type, value, 1);
}

CLabelVariable Korvane::WriteVariable(QString address, DataType type, CLabelVariable value, int count)
{
    CLabelVariable result = value;
    const RequestCheck::Verdict v = RequestCheck::write(parse(address), type, count, value, Rules);
    if (v.code != ResultCode::Success) {
        result.resultCode = v.code;
    } else {
        const RequestCheck::Target &t = v.target;
        result = Write_data(t.byteAddress, t.dbNumber, t.bitNumber, type, count, value, t.area, address);
        if (t.area == AreaInput)
            result.resultCode = ResultCode::InputWrite;
    }
    result.address = address;
    result.count = count;
    result.type = type;
    return result;
}

CLabelVariable Korvane::Write_data(int byteAddress, int dbNumber, int bitNumber, DataType type,
                                   int count, CLabelVariable value, int area, QString address)
{
    CLabelVariable result = value;
    const int byteLength = getBytelen(type, count);
    const int bitAddress = RequestCheck::saturated(RequestCheck::startBitAddress(type, byteAddress, bitNumber));
    QByteArray bytes;
    int r;
    if (type == Bool) {
        encodeByType(Bool, value, byteLength, &bytes);
        r = transport.WriteCoilsQarea(dbNumber, bitAddress, byteLength, bytes, area, address);
    } else {
        if (handledType(type))
            encodeByType(type, value, count, &bytes);
        r = writeInJobs(bitAddress, bytes, byteLength, dbNumber, area, address);
    }
    if (r == 0)
        result.timeStamp = stamps.now();
    result.resultCode = ResultCode::fromTransport(r, result.resultCode);
    if (!handledType(type))
        result.resultCode = ResultCode::BadType;
    return result;
}

int Korvane::readInJobs(int byteAddress, int byteLength, QByteArray *out, int dbNumber, int area,
                        const QString &address)
{
    out->reserve(out->size() + byteLength);
    const int capacity = S7Pdu::readCapacity(transport.pduLength());
    return JobSplit::run(byteLength, capacity, [&](int offset, int length) {
        const int at = RequestCheck::saturated(qint64(byteAddress) + offset);
        return transport.Read_area(at, length, out, dbNumber, area, address);
    });
}

int Korvane::writeInJobs(int bitAddress, const QByteArray &bytes, int byteLength, int dbNumber,
                         int area, const QString &address)
{
    const int capacity = S7Pdu::writeCapacity(transport.pduLength());
    return JobSplit::run(byteLength, capacity, [&](int offset, int length) {
        const int at = RequestCheck::saturated(qint64(bitAddress) + qint64(offset) * 8);
        return transport.WriteHoldingRegistersVarea(dbNumber, at, length, bytes.mid(offset, length),
                                                    area, address);
    });
}
