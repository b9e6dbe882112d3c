#include "PpiStationFrames.h"

#include "ByteOrder.h"
#include "PpiFrames.h"
#include "S7Pdu.h"

using ByteOrder::u8;
using PpiFrames::checksum;

namespace PpiStationFrames {

namespace {

// A frame of `length` bytes whose check sum starts at `from`: its length once whole, 0 while it
// grows, -1 as soon as its check sum has come and is wrong.
int checkedLength(const QByteArray &rx, int length, int from)
{
    if (rx.size() >= length - 1 && checksum(rx, from, length - 2 - from) != u8(rx, length - 2))
        return -1;
    return rx.size() >= length ? length : 0;
}

} // namespace

int frameLength(const QByteArray &rx)
{
    if (rx.isEmpty())
        return 0;
    switch (u8(rx, 0)) {
    case PpiFrames::ShortAck:
        return 1;
    case PpiFrames::FixedStart:
        return checkedLength(rx, PpiFrames::FixedLength, 1);
    case PpiFrames::FixedDataStart:
        return checkedLength(rx, PpiFrames::FixedDataLength, 1);
    case PpiFrames::TokenStart:
        // A token carries two station addresses and nothing to check them by.
        if ((rx.size() >= 2 && u8(rx, 1) > PpiFrames::MaxStationAddress)
            || (rx.size() >= 3 && u8(rx, 2) > PpiFrames::MaxStationAddress))
            return -1;
        return rx.size() >= PpiFrames::TokenLength ? PpiFrames::TokenLength : 0;
    case PpiFrames::VariableStart:
        if (rx.size() < 4)
            return 0;
        if (u8(rx, 1) != u8(rx, 2) || u8(rx, 3) != PpiFrames::VariableStart || u8(rx, 1) < 3)
            return -1;
        return checkedLength(rx, u8(rx, 1) + 6, 4);
    default:
        return -1;
    }
}

bool checksumOk(const QByteArray &frame)
{
    const int n = frame.size();
    if (n == 1 || u8(frame, 0) == PpiFrames::TokenStart)
        return true;
    const int from = u8(frame, 0) == PpiFrames::VariableStart ? 4 : 1;
    return checksum(frame, from, n - 2 - from) == u8(frame, n - 2) && u8(frame, n - 1) == PpiFrames::EndDelimiter;
}

QByteArray fixed(int da, int sa, int fc)
{
    QByteArray f;
    f.append(char(PpiFrames::FixedStart));
    f.append(char(da));
    f.append(char(sa));
    f.append(char(fc));
    f.append(char(checksum(f, 1, 3)));
    f.append(char(PpiFrames::EndDelimiter));
    return f;
}

QByteArray variable(int da, int sa, int fc, const QByteArray &pdu)
{
    const int le = 3 + pdu.size();
    QByteArray f;
    f.append(char(PpiFrames::VariableStart));
    f.append(char(le));
    f.append(char(le));
    f.append(char(PpiFrames::VariableStart));
    f.append(char(da));
    f.append(char(sa));
    f.append(char(fc));
    f.append(pdu);
    f.append(char(checksum(f, 4, le)));
    f.append(char(PpiFrames::EndDelimiter));
    return f;
}

QByteArray fixedData(int da, int sa, int fc, const QByteArray &eightBytes)
{
    QByteArray f;
    f.append(char(PpiFrames::FixedDataStart)).append(char(da)).append(char(sa)).append(char(fc));
    f.append(eightBytes);
    f.append(char(checksum(f, 1, 3 + eightBytes.size()))).append(char(PpiFrames::EndDelimiter));
    return f;
}

QByteArray withOtherData(QByteArray pdu)
{
    for (int i = S7Pdu::ReadAckOverhead; i < pdu.size(); ++i)
        pdu[i] = char(~u8(pdu, i));
    return pdu;
}

} // namespace PpiStationFrames
