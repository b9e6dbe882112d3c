#include "S7ConnectionFrames.h"

namespace S7ConnectionFrames {

namespace {

int get8(const QByteArray &b, int at) { return quint8(b.at(at)); }

// Confirm header after LI: 0xD0, destination reference (2), source reference (2), class.
constexpr int ConfirmFixedPart = 6;

} // namespace

Take takeFrame(QByteArray *buffer, QByteArray *frame)
{
    if (buffer->isEmpty())
        return Take::NeedMore;
    if (get8(*buffer, 0) != 0x03)
        return Take::Broken;
    if (buffer->size() < TpktHeader)
        return Take::NeedMore;
    const int length = (get8(*buffer, 2) << 8) | get8(*buffer, 3);
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
    frame.append(char((length >> 8) & 0xFF));
    frame.append(char(length & 0xFF));
    frame.append(cotp);
    return frame;
}

QByteArray dataFrame(const QByteArray &pdu)
{
    return tpkt(QByteArray::fromHex("02f080") + pdu);
}

QByteArray disconnectRequest()
{
    return tpkt(QByteArray::fromHex("0680000000010000"));
}

QByteArray connectionConfirm(const QByteArray &request)
{
    // The parameters the request's LI counts, within the frame that came.
    const int li = request.size() > TpktHeader ? get8(request, TpktHeader) : 0;
    const int end = qMin(request.size(), TpktHeader + 1 + li);
    QByteArray parameters;
    for (int at = RequestParametersAt; at + 2 <= end;) {
        const int whole = 2 + get8(request, at + 1);
        if (at + whole > end || 1 + ConfirmFixedPart + parameters.size() + whole > MaxLengthIndicator + 1)
            break;
        parameters.append(request.mid(at, whole));
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
