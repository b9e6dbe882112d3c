#include "korvane.h"

#include "AddressGrammar.h"
#include "DriverIdentity.h"
#include "JobSplit.h"
#include "S7Pdu.h"

namespace {

const char *const DriveName = "Siemens_S7";
const char *const VersionNumber = "V1.8.4 20230505";
const char *const VersionTemplate = "v1.8.4 %1 %2";
constexpr int HighestByteAddress = 65535;

bool handledType(int type) { return type >= Bool && type <= Double; }

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
    return DriverIdentity::debugCommand(cmd, getDriveName(), QString::fromLatin1(VersionTemplate),
                                        &transport.debugFlag);
}

int Korvane::DisConnectDrive()
{
    return transport.DisConnectDrive();
}

int Korvane::ConnectDrive(QString par)
{
    const int colon = par.indexOf(QLatin1Char(':'));
    ipAddress = colon < 0 ? par : par.left(colon);
    ipPort = (colon < 0 ? par : par.mid(colon + 1)).toInt();
    // A port beyond 16 bits must not silently connect to its low bits.
    if (ipPort < 1 || ipPort > 65535 || ipAddress.isEmpty())
        return -1;
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
    return AddressGrammar::byteLength(type, count);
}

// A text outside the grammar is marked malformed; a size letter after the area letter is read
// as the user means it (MW10 is M10).
Korvane::ParsedAddress Korvane::parse(const QString &address)
{
    QString canonical;
    ParsedAddress p;
    p.malformed = AddressGrammar::classify(address, &canonical) == AddressGrammar::Form::Malformed;
    p.area = getArea(canonical);
    p.byteAddress = getAddr(canonical, p.area);
    p.dbNumber = getmodule_number(canonical, p.area);
    p.bitNumber = getmodule_bit(canonical, p.area);
    return p;
}

CLabelVariable Korvane::ReadVariable(QString address, DataType type)
{
    return ReadVariable(address, type, 1);
}

CLabelVariable Korvane::ReadVariable(QString address, DataType type, int count)
{
    CLabelVariable result;
    result.timeStamp = QDateTime::currentDateTime();
    const ParsedAddress p = parse(address);
    if (p.byteAddress < 0)
        result.resultCode = ResultCode::BadAddress;
    else if (p.area == AreaNone || p.malformed)
        result.resultCode = ResultCode::BadArea;
    else if (count <= 0)
        result.resultCode = ResultCode::BadCount;
    else if (p.byteAddress + count > HighestByteAddress)
        result.resultCode = ResultCode::BadAddress;
    else if (type == 0)
        result.resultCode = ResultCode::BadType;
    else if (getBytelen(type, type == Bool ? p.bitNumber + count : count) > MaxReadBytes)
        result.resultCode = ResultCode::BadCount;
    else
        result = Read_data(p.byteAddress, p.dbNumber, p.bitNumber, type, count, p.area, address);
    result.address = address;
    result.count = count;
    result.type = type;
    return result;
}

CLabelVariable Korvane::Read_data(int byteAddress, int dbNumber, int bitNumber, DataType type,
                                  int count, int area, QString address)
{
    CLabelVariable result;
    // Bool: every byte that holds one of the consecutive bits from the start bit on.
    const int byteLength = getBytelen(type, type == Bool ? bitNumber + count : count);
    QByteArray bytes;
    const int r = readInJobs(byteAddress, byteLength, &bytes, dbNumber, area, address);
    if (r == 0) {
        result.timeStamp = QDateTime::currentDateTime();
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
    const ParsedAddress p = parse(address);
    if (p.byteAddress < 0) {
        result.resultCode = ResultCode::BadAddress;
    } else if (p.area == AreaNone || p.malformed) {
        result.resultCode = ResultCode::BadArea;
    } else if (count < 0) {
        result.resultCode = ResultCode::BadCount;
    } else if (p.byteAddress + count > HighestByteAddress) {
        result.resultCode = ResultCode::BadAddress;
    } else if (type == 0) {
        result.resultCode = ResultCode::BadType;
    } else if (handledType(type) && count > 0 && heldElements(type, value) < count) {
        // The value cannot supply what the job would carry: refuse before anything is sent.
        const bool noList = heldElements(type, value) < 0;
        result.resultCode = noList ? ResultCode::BadType : ResultCode::BadCount;
    } else if ((type == Bool && count > 1) || getBytelen(type, count) > MaxWriteBytes) {
        result.resultCode = ResultCode::BadCount;
    } else {
        result = Write_data(p.byteAddress, p.dbNumber, p.bitNumber, type, count, value, p.area, address);
        if (p.area == AreaInput)
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
    const int bitAddress = byteAddress * 8 + bitNumber;
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
        result.timeStamp = QDateTime::currentDateTime();
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
        return transport.Read_area(byteAddress + offset, length, out, dbNumber, area, address);
    });
}

int Korvane::writeInJobs(int bitAddress, const QByteArray &bytes, int byteLength, int dbNumber,
                         int area, const QString &address)
{
    const int capacity = S7Pdu::writeCapacity(transport.pduLength());
    return JobSplit::run(byteLength, capacity, [&](int offset, int length) {
        return transport.WriteHoldingRegistersVarea(dbNumber, bitAddress + offset * 8, length,
                                                    bytes.mid(offset, length), area, address);
    });
}
