#include "S7ConnectionFrames.h"

#include <QtAlgorithms>

#include "ByteOrder.h"

using ByteOrder::u8;

namespace S7ConnectionFrames {

namespace {

// Confirm header after LI: 0xD0, destination reference (2), source reference (2), class.
constexpr int ConfirmFixedPart = 6;

} // namespace

Take takeFrame(QByteArray *buffer, QByteArray *frame)
{
    if (buffer->isEmpty())
        return Take::NeedMore;
    if (u8(*buffer, 0) != 0x03)
        return Take::Broken;
    if (buffer->size() < TpktHeader)
        return Take::NeedMore;
    const int length = ByteOrder::be16(*buffer, 2);
    if (length < MinimumTpkt)
        return Take::Broken;
    if (buffer->size() < length)
        return Take::NeedMore;
    *frame = buffer->left(length);
    buffer->remove(0, length);
    return Take::Frame;
}

QByteArray tpkt(const QByteArray &cotp)
{
    const int length = TpktHeader + cotp.size();
    QByteArray frame;
    frame.append(char(0x03));
    frame.append(char(0x00));
    ByteOrder::append16(frame, length);
    frame.append(cotp);
    return frame;
}

QByteArray dataFrame(const QByteArray &pdu)
{
    return dataUnit(pdu, true);
}

QByteArray dataUnit(const QByteArray &piece, bool last)
{
    QByteArray cotp = QByteArray::fromHex("02f000");
    if (last)
        cotp[2] = char(0x80);
    return tpkt(cotp + piece);
}

QByteArray dataUnits(const QByteArray &pdu, int tpduSize)
{
    const int room = qMax(1, tpduSize - CotpDataHeader);
    QByteArray units;
    for (int at = 0; at < pdu.size() || at == 0; at += room)
        units += dataUnit(pdu.mid(at, room), at + room >= pdu.size());
    return units;
}

QByteArray fastAcknowledge()
{
    return dataUnit(QByteArray(), false);
}

bool endsTsdu(const QByteArray &frame)
{
    return frame.size() > 6 && (u8(frame, 6) & 0x80) != 0;
}

int requestParameter(const QByteArray &request, int code)
{
    const int li = request.size() > TpktHeader ? u8(request, TpktHeader) : 0;
    const int end = qMin(request.size(), TpktHeader + 1 + li);
    for (int at = RequestParametersAt; at + 2 <= end;) {
        const int length = u8(request, at + 1);
        if (at + 2 + length > end)
            break;
        if (u8(request, at) == code && (length == 1 || length == 2))
            return length == 1 ? u8(request, at + 2) : ByteOrder::be16(request, at + 2);
        at += 2 + length;
    }
    return -1;
}

QByteArray disconnectRequest()
{
    return tpkt(QByteArray::fromHex("0680000000010000"));
}

QByteArray connectionConfirm(const QByteArray &request, int tpduSize)
{
    // The parameters the request's LI counts, within the frame that came.
    const int li = request.size() > TpktHeader ? u8(request, TpktHeader) : 0;
    const int end = qMin(request.size(), TpktHeader + 1 + li);
    QByteArray parameters;
    for (int at = RequestParametersAt; at + 2 <= end;) {
        const int whole = 2 + u8(request, at + 1);
        if (at + whole > end || 1 + ConfirmFixedPart + parameters.size() + whole > MaxLengthIndicator + 1)
            break;
        QByteArray parameter = request.mid(at, whole);
        if (tpduSize > 0 && u8(request, at) == 0xC0 && whole == 3)
            parameter[2] = char(qCountTrailingZeroBits(quint32(tpduSize)));
        parameters.append(parameter);
        at += whole;
    }
    QByteArray cotp;
    cotp.append(char(ConfirmFixedPart + parameters.size()));
    cotp.append(char(0xD0));
    cotp.append(request.mid(8, 2).leftJustified(2, '\0', true));
    cotp.append(char(0x00));
    cotp.append(char(0x01));
    cotp.append(char(0x00));
    cotp.append(parameters);
    return tpkt(cotp);
}

} // namespace S7ConnectionFrames
