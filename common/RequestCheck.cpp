#include "RequestCheck.h"

#include <limits>

#include "CDriveBaseClass.h"
#include "ValueCodec.h"

namespace RequestCheck {

namespace {

bool handledType(int type) { return type >= Bool && type <= Double; }

// The checks reads and writes share, in the order the result codes are judged.
int judgeAddress(const AddressGrammar::Address &a, const Rules &rules)
{
    if (a.form == AddressGrammar::Form::NoArea)
        return rules.noAreaCode;
    if (a.form == AddressGrammar::Form::Malformed)
        return ResultCode::BadArea;
    if (a.byteAddress < 0)
        return ResultCode::BadAddress;
    return ResultCode::Success;
}

bool isWordType(int type) { return type == Int16 || type == UInt16 || type == Int32 || type == UInt32; }

// What an area takes beyond the checks every area shares: analog areas hold words at even byte
// addresses; timers and counters hold 16-bit elements that read as counts or times.
int judgeAreaType(const AddressGrammar::Address &a, int type)
{
    if (AddressGrammar::isAnalog(a.area)) {
        if (type == Bool || type == Int8 || type == UInt8)
            return ResultCode::BadType;
        if (a.byteAddress % 2 != 0)
            return ResultCode::BadAddress;
    }
    if (AddressGrammar::isTimerOrCounter(a.area) && !isWordType(type))
        return ResultCode::BadType;
    return ResultCode::Success;
}

PlcPlace targetOf(const AddressGrammar::Address &a, int type)
{
    PlcPlace t;
    t.area = a.area;
    t.dbNumber = a.dbNumber;
    t.byteAddress = int(a.byteAddress);
    t.bitNumber = type == Bool ? a.bitNumber : 0;
    return t;
}

} // namespace

qint64 readByteLength(int type, int bitNumber, qint64 count)
{
    if (type == Bool)
        return count > 0 ? AddressGrammar::byteLength(Bool, qMax(bitNumber, 0) + count) : 0;
    return AddressGrammar::byteLength(type, count);
}

qint64 writeByteLength(int type, qint64 count)
{
    return AddressGrammar::byteLength(type, count);
}

qint64 startBitAddress(int type, qint64 byteAddress, int bitNumber)
{
    return byteAddress * 8 + (type == Bool ? bitNumber : 0);
}

int saturated(qint64 n)
{
    return int(qBound<qint64>(std::numeric_limits<int>::min(), n, std::numeric_limits<int>::max()));
}

Verdict read(const AddressGrammar::Address &address, int type, int count, const Rules &rules)
{
    Verdict v;
    v.code = judgeAddress(address, rules);
    if (v.code != ResultCode::Success)
        return v;
    const qint64 bytes = readByteLength(type, address.bitNumber, count);
    if (count < rules.minReadCount)
        v.code = ResultCode::BadCount;
    else if (address.byteAddress + count > rules.readAddressEnd)
        v.code = ResultCode::BadAddress;
    else if (type == 0)
        v.code = ResultCode::BadType;
    else if (bytes > rules.maxReadBytes)
        v.code = ResultCode::BadCount;
    else if (address.area == AddressGrammar::Periphery && address.peripheralOutput)
        v.code = ResultCode::BadArea;       // a read of 0x80 would bring the input modules
    else
        v.code = judgeAreaType(address, type);
    if (v.code == ResultCode::Success)
        v.target = targetOf(address, type);
    return v;
}

Verdict write(const AddressGrammar::Address &address, int type, int count, const CLabelVariable &value,
              const Rules &rules)
{
    Verdict v;
    v.code = judgeAddress(address, rules);
    if (v.code != ResultCode::Success)
        return v;
    const qint64 bytes = writeByteLength(type, count);
    if (count < rules.minWriteCount)
        v.code = ResultCode::BadCount;
    else if (address.byteAddress + count > rules.writeAddressEnd)
        v.code = ResultCode::BadAddress;
    else if (!handledType(type))
        v.code = ResultCode::BadType;       // nothing to encode: such a write is never sent
    else if ((type == Bool && count > 1) || bytes > rules.maxWriteBytes)
        v.code = ResultCode::BadCount;      // a bit item carries one bit; a job has its size
    else if (address.area == AddressGrammar::AnalogInput
             || (address.area == AddressGrammar::Periphery && !address.peripheralOutput))
        v.code = ResultCode::InputWrite;    // input modules take no writes: nothing is sent
    else
        v.code = judgeAreaType(address, type);
    if (v.code != ResultCode::Success)
        return v;
    // The value must supply every element the job carries, never bytes from beyond its list.
    const int held = count > 0 ? ValueCodec::heldElements(type, value) : 0;
    if (held < 0)
        v.code = ResultCode::BadType;
    else if (held < count)
        v.code = ResultCode::BadCount;
    else
        v.target = targetOf(address, type);
    return v;
}

} // namespace RequestCheck
