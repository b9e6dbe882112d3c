#include "IsoTcpFrames.h"

#include "ByteOrder.h"

namespace IsoTcp {

namespace {

// The S7 PDU of a data frame without a copy; valid while `frame` is. Empty when the frame is not
// a COTP data unit.
QByteArray payloadView(const QByteArray &frame)
{
    if (frame.size() < DataHeaderLength || cotpType(frame) != CotpData)
        return QByteArray();
    return QByteArray::fromRawData(frame.constData() + DataHeaderLength, frame.size() - DataHeaderLength);
}

// The PDU reference of a data frame that carries an S7 job; -1 for any other frame.
int jobReference(const QByteArray &frame)
{
    const QByteArray pdu = payloadView(frame);
    if (pdu.size() < S7Pdu::JobHeaderLength || ByteOrder::u8(pdu, 0) != 0x32 || ByteOrder::u8(pdu, 1) != 0x01)
        return -1;
    return S7Pdu::reference(pdu);
}

// 1: the TPKT and COTP header at `at` are plausible; 0: they are not; -1: too few bytes to tell.
int plausibleAt(const QByteArray &stream, int at)
{
    const int have = stream.size() - at;
    const auto byte = [&](int i) { return ByteOrder::u8(stream, at + i); };
    if (have < 1)
        return -1;
    if (byte(0) != 0x03)
        return 0;
    if (have < 2)
        return -1;
    if (byte(1) != 0x00)
        return 0;
    if (have < 4)
        return -1;
    const int length = ByteOrder::be16(stream, at + 2);
    if (length < DataHeaderLength || length > MaxFrameLength)
        return 0;
    if (have < 6)
        return -1;
    const int indicator = byte(4);
    const int type = byte(5);
    if (type == CotpData)
        return indicator == 2 ? 1 : 0;
    const bool connectionUnit = type == CotpConnectionRequest || type == CotpConnectionConfirm
                                || type == CotpDisconnectRequest || type == 0x70;   // 0x70: error unit
    return connectionUnit && indicator >= 2 && TpktHeaderLength + 1 + indicator <= length ? 1 : 0;
}

// One data unit carrying `pdu` or a piece of it; `last` sets the end-of-TSDU bit.
QByteArray dataUnit(const QByteArray &pdu, bool last)
{
    const int length = DataHeaderLength + pdu.size();
    QByteArray frame;
    frame.reserve(length);
    frame.append(char(0x03));
    frame.append(char(0x00));
    ByteOrder::append16(frame, length);
    frame.append(char(0x02));
    frame.append(char(CotpData));
    frame.append(char(last ? EndOfTsdu : 0x00));
    frame.append(pdu);
    return frame;
}

} // namespace

int frameLength(const QByteArray &buffer, int maxLength)
{
    if (buffer.isEmpty())
        return NeedMore;
    if (ByteOrder::u8(buffer, 0) != 0x03)
        return Broken;
    if (buffer.size() > 1 && ByteOrder::u8(buffer, 1) != 0x00)
        return Broken;
    if (buffer.size() < TpktHeaderLength)
        return NeedMore;
    const int length = ByteOrder::be16(buffer, 2);
    if (length < DataHeaderLength || length > maxLength)
        return Broken;
    return length;
}

int cotpType(const QByteArray &frame)
{
    return frame.size() > 5 ? ByteOrder::u8(frame, 5) : -1;
}

QByteArray wrapPdu(const QByteArray &pdu)
{
    return dataUnit(pdu, true);
}

Tsdu nextTsdu(const QByteArray &stream, int maxPdu)
{
    QByteArray pdu;
    bool started = false;
    int at = 0;
    for (;;) {
        if (at > MaxTsduSpan)
            return {Broken, QByteArray()};
        const QByteArray rest = QByteArray::fromRawData(stream.constData() + at, stream.size() - at);
        const int length = frameLength(rest);
        if (length == Broken)
            return {Broken, QByteArray()};
        if (length == NeedMore || rest.size() < length)
            return {NeedMore, QByteArray()};
        if (cotpType(rest) != CotpData) {
            if (started)
                return {Broken, QByteArray()};
            return {length, QByteArray(rest.constData(), length)};
        }
        const bool last = (ByteOrder::u8(rest, 6) & EndOfTsdu) != 0;
        const int carried = length - DataHeaderLength;
        if (!started && carried == 0)
            return {length, QByteArray()};
        started = true;
        if (pdu.size() + carried > maxPdu)
            return {Broken, QByteArray()};
        pdu.append(rest.constData() + DataHeaderLength, carried);
        at += length;
        if (last)
            return {at, wrapPdu(pdu)};
    }
}

int grantedTpduSize(const QByteArray &confirm)
{
    if (!isConnectionConfirm(confirm))
        return DefaultTpduSize;
    const int end = qMin(confirm.size(), TpktHeaderLength + 1 + ByteOrder::u8(confirm, 4));
    int at = 11;
    while (at + 2 <= end) {
        const int code = ByteOrder::u8(confirm, at);
        const int length = ByteOrder::u8(confirm, at + 1);
        if (at + 2 + length > end)
            break;
        // 0x07 to 0x0D: 128 to 8192 bytes, the sizes class 0 knows.
        if (code == 0xC0 && length == 1) {
            const int exponent = ByteOrder::u8(confirm, at + 2);
            return exponent >= 7 && exponent <= 13 ? 1 << exponent : DefaultTpduSize;
        }
        at += 2 + length;
    }
    return DefaultTpduSize;
}

QByteArray splitForTpdu(const QByteArray &frame, int tpduSize)
{
    const int room = tpduSize - (DataHeaderLength - TpktHeaderLength);
    if (frame.size() - TpktHeaderLength <= tpduSize || cotpType(frame) != CotpData || room < 1)
        return frame;
    const QByteArray pdu = payloadView(frame);
    QByteArray units;
    for (int at = 0; at < pdu.size(); at += room)
        units.append(dataUnit(pdu.mid(at, room), at + room >= pdu.size()));
    return units;
}

QByteArray payload(const QByteArray &frame)
{
    if (frame.size() < DataHeaderLength || cotpType(frame) != CotpData)
        return QByteArray();
    return frame.mid(DataHeaderLength);
}

QByteArray connectionRequest(quint16 local, quint16 remote)
{
    QByteArray frame = QByteArray::fromHex("0300001611e00000000100c0010ac1021000c2020300");
    ByteOrder::set16(frame, 16, local);
    ByteOrder::set16(frame, 20, remote);
    return frame;
}

QByteArray setupRequest()
{
    return wrapPdu(QByteArray::fromHex("32010000ccc100080000" "f000" "0001" "0001" "03c0"));
}

bool isConnectionConfirm(const QByteArray &frame)
{
    return frame.size() >= DataHeaderLength && cotpType(frame) == CotpConnectionConfirm;
}

bool isSetupAnswer(const QByteArray &frame)
{
    const QByteArray pdu = payload(frame);
    return pdu.size() >= S7Pdu::AckHeaderLength + 1 && ByteOrder::u8(pdu, 0) == 0x32
           && ByteOrder::u8(pdu, 1) == 0x03 && ByteOrder::u8(pdu, 10) == 0 && ByteOrder::u8(pdu, 11) == 0
           && ByteOrder::u8(pdu, S7Pdu::AckHeaderLength) == 0xF0;
}

int grantedPduLength(const QByteArray &frame)
{
    constexpr int GrantAt = S7Pdu::AckHeaderLength + 6;
    if (!isSetupAnswer(frame))
        return 0;
    const QByteArray pdu = payload(frame);
    if (pdu.size() < GrantAt + 2)
        return 0;
    const int granted = ByteOrder::be16(pdu, GrantAt);
    if (granted < S7Pdu::MinimumPduLength || granted > SetupPduLength)
        return 0;
    return granted;
}

quint16 referenceFrom(int high, int low)
{
    return quint16(((high & 0xFF) << 8) | (low & 0xFF));
}

int wireDbNumber(int area, int dbNumber)
{
    if (area != 0x84)
        return 0;
    return dbNumber <= 0 ? 1 : dbNumber;
}

QByteArray readRequest(quint16 reference, int area, int dbNumber, int byteAddress, int byteCount)
{
    const QByteArray job = S7Pdu::readJob(reference, area, wireDbNumber(area, dbNumber), byteAddress,
                                          byteCount);
    return job.isEmpty() ? QByteArray() : wrapPdu(job);
}

QByteArray writeRequest(quint16 reference, int area, int dbNumber, int bitAddress,
                        S7Pdu::ItemSize size, const QByteArray &data)
{
    const QByteArray job = S7Pdu::writeJob(reference, area, wireDbNumber(area, dbNumber), bitAddress,
                                           size, data);
    return job.isEmpty() ? QByteArray() : wrapPdu(job);
}

QByteArray elementReadRequest(quint16 reference, int area, int first, int count)
{
    const QByteArray job = S7Pdu::elementReadJob(reference, area, first, count);
    return job.isEmpty() ? QByteArray() : wrapPdu(job);
}

QByteArray elementWriteRequest(quint16 reference, int area, int first, const QByteArray &words)
{
    const QByteArray job = S7Pdu::elementWriteJob(reference, area, first, words);
    return job.isEmpty() ? QByteArray() : wrapPdu(job);
}

S7Pdu::Verdict judgeElementReadAnswer(const QByteArray &frame, int area, int count, QByteArray *words)
{
    const QByteArray pdu = payloadView(frame);
    if (pdu.isEmpty())
        return S7Pdu::Verdict::NotAnAnswer;
    return S7Pdu::judgeElementReadAck(pdu, area, count, words);
}

bool answersRequest(const QByteArray &request, const QByteArray &frame)
{
    const int asked = jobReference(request);
    if (asked < 0)
        return cotpType(frame) >= 0 && cotpType(frame) != CotpData;
    const QByteArray pdu = payloadView(frame);
    return S7Pdu::isAcknowledgement(pdu) && S7Pdu::reference(pdu) == asked;
}

bool carriesS7Pdu(const QByteArray &frame)
{
    const QByteArray pdu = payloadView(frame);
    return pdu.size() >= S7Pdu::JobHeaderLength && ByteOrder::u8(pdu, 0) == 0x32;
}

int nextFrameStart(const QByteArray &stream, int from)
{
    for (int at = qMax(from, 0); at < stream.size(); ++at)
        if (plausibleAt(stream, at) != 0)
            return at;
    return stream.size();
}

Cut cutAt(const QByteArray &stream)
{
    Cut cut;
    int at = 0;
    while (at < stream.size()) {
        const QByteArray rest = QByteArray::fromRawData(stream.constData() + at, stream.size() - at);
        const int length = frameLength(rest);
        if (length != Broken && length != NeedMore && rest.size() >= DataHeaderLength)
            cut.tsduOpen = cotpType(rest) == CotpData && (ByteOrder::u8(rest, 6) & EndOfTsdu) == 0;
        if (length == Broken || length == NeedMore || rest.size() < length) {
            cut.midUnit = true;
            break;
        }
        at += length;
    }
    return cut;
}

bool showsReferenceOf(const QByteArray &request, const QByteArray &front)
{
    // The reference sits at offsets 4-5 of the S7 PDU, 11-12 of a data frame.
    constexpr int ReferenceEnd = DataHeaderLength + 6;
    if (front.size() < ReferenceEnd || request.size() < ReferenceEnd || cotpType(front) != CotpData)
        return false;
    return S7Pdu::reference(front.mid(DataHeaderLength, 6)) == S7Pdu::reference(request.mid(DataHeaderLength, 6));
}

bool judgeReadAnswer(const QByteArray &frame, int byteCount, QByteArray *data)
{
    if (byteCount < 0 || frame.size() != DataHeaderLength + S7Pdu::ReadAckOverhead + byteCount)
        return false;
    return S7Pdu::judgeReadAck(payloadView(frame), byteCount, data) == S7Pdu::Verdict::Ok;
}

bool judgeWriteAnswer(const QByteArray &frame)
{
    if (frame.size() != DataHeaderLength + S7Pdu::WriteAckLength)
        return false;
    return S7Pdu::judgeWriteAck(payloadView(frame)) == S7Pdu::Verdict::Ok;
}

} // namespace IsoTcp
