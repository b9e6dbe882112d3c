#include "PpiFrames.h"

#include "ByteOrder.h"
#include "S7Pdu.h"

#include <cstring>

namespace PpiFrames {

quint8 checksum(const QByteArray &bytes, int from, int count)
{
    // Only the bytes that are there count.
    const qint64 begin = qBound<qint64>(0, from, bytes.size());
    const qint64 end = qBound<qint64>(begin, qint64(from) + qMax(0, count), bytes.size());
    const uchar *b = reinterpret_cast<const uchar *>(bytes.constData());
    unsigned sum = 0;
    for (qint64 i = begin; i < end; ++i)
        sum += b[i];
    return quint8(sum & 0xFF);
}

QByteArray fixedFrame(int da, int sa, int fc)
{
    QByteArray f(FixedLength, Qt::Uninitialized);
    uchar *b = reinterpret_cast<uchar *>(f.data());
    b[0] = FixedStart;
    b[1] = uchar(da & 0xFF);
    b[2] = uchar(sa & 0xFF);
    b[3] = uchar(fc & 0xFF);
    b[4] = checksum(f, 1, 3);
    b[5] = EndDelimiter;
    return f;
}

QByteArray greeting(int station, int ownAddress) { return fixedFrame(station, ownAddress, FcFdlStatus); }

QByteArray poll(int station, int ownAddress) { return fixedFrame(station, ownAddress, FcPoll); }

QByteArray variableFrame(int da, int sa, int fc, const QByteArray &data)
{
    const int le = 3 + data.size();
    if (le > MaxLe)
        return QByteArray();
    QByteArray f(le + 6, Qt::Uninitialized);
    uchar *b = reinterpret_cast<uchar *>(f.data());
    b[0] = VariableStart;
    b[1] = uchar(le);
    b[2] = uchar(le);
    b[3] = VariableStart;
    b[4] = uchar(da & 0xFF);
    b[5] = uchar(sa & 0xFF);
    b[6] = uchar(fc & 0xFF);
    if (!data.isEmpty())
        memcpy(b + PduOffset, data.constData(), size_t(data.size()));
    b[4 + le] = checksum(f, 4, le);
    b[5 + le] = EndDelimiter;
    return f;
}

QByteArray readRequest(int station, int ownAddress, int area, int dbNumber, int byteAddress, int length,
                       quint16 reference)
{
    const QByteArray job = S7Pdu::readJob(reference, area, dbNumber, byteAddress, length);
    return job.isEmpty() ? QByteArray() : variableFrame(station, ownAddress, FcReadJob, job);
}

QByteArray elementReadRequest(int station, int ownAddress, int area, int first, int count, quint16 reference)
{
    const QByteArray job = S7Pdu::elementReadJob(reference, area, first, count);
    return job.isEmpty() ? QByteArray() : variableFrame(station, ownAddress, FcReadJob, job);
}

QByteArray writeRequest(int station, int ownAddress, int area, int dbNumber, int bitAddress,
                        bool bitItem, const QByteArray &data, quint16 reference)
{
    const auto size = bitItem ? S7Pdu::ItemSize::Bit : S7Pdu::ItemSize::Byte;
    const QByteArray job = S7Pdu::writeJob(reference, area, dbNumber, bitAddress, size, data);
    return job.isEmpty() ? QByteArray() : variableFrame(station, ownAddress, FcWriteJob, job);
}

namespace {

// The check sum and end delimiter of a frame of `length` bytes at `from`, whose check sum
// counts the bytes from offset `sumFrom` on, as far as they are there: -1 when a byte that is
// there is wrong, else the bytes still missing.
int checkTail(const QByteArray &buffer, int from, int size, int length, int sumFrom)
{
    const int fcsAt = length - 2;
    if (size > fcsAt && checksum(buffer, from + sumFrom, fcsAt - sumFrom) != ByteOrder::u8(buffer, from + fcsAt))
        return -1;
    if (size > fcsAt + 1 && ByteOrder::u8(buffer, from + fcsAt + 1) != EndDelimiter)
        return -1;
    return qMax(0, length - size);
}

// missingBytes for the frame that starts at `from`.
int missingAt(const QByteArray &buffer, int from)
{
    const int size = buffer.size() - from;
    if (size <= 0)
        return 1;
    switch (ByteOrder::u8(buffer, from)) {
    case ShortAck:
        return 0;
    case FixedStart:
        return checkTail(buffer, from, size, FixedLength, 1);
    case FixedDataStart:
        return checkTail(buffer, from, size, FixedDataLength, 1);
    case TokenStart:
        for (int i = 1; i < qMin(size, TokenLength); ++i) {
            if (ByteOrder::u8(buffer, from + i) > MaxStationAddress)
                return -1;
        }
        return qMax(0, TokenLength - size);
    case VariableStart: {
        if (size < 2)
            return 3;   // LE LE 68 at least, before the length is known
        const int le = ByteOrder::u8(buffer, from + 1);
        if (le < 3)     // DA, SA and FC are always there
            return -1;
        if (size >= 3 && ByteOrder::u8(buffer, from + 2) != le)
            return -1;
        if (size >= 4 && ByteOrder::u8(buffer, from + 3) != VariableStart)
            return -1;
        return checkTail(buffer, from, size, le + 6, 4);
    }
    default:
        return -1;
    }
}

// The length of a frame whose first bytes are there; 0 while its length is not known.
int lengthAt(const QByteArray &buffer, int from)
{
    switch (ByteOrder::u8(buffer, from)) {
    case ShortAck:
        return 1;
    case FixedStart:
        return FixedLength;
    case FixedDataStart:
        return FixedDataLength;
    case TokenStart:
        return TokenLength;
    default:
        return buffer.size() - from >= 2 ? ByteOrder::u8(buffer, from + 1) + 6 : 0;
    }
}

} // namespace

int missingBytes(const QByteArray &buffer)
{
    return missingAt(buffer, 0);
}

Scan scan(const QByteArray &buffer, int from)
{
    Scan s;
    int at = qMax(0, from);
    while (at < buffer.size()) {
        const int missing = missingAt(buffer, at);
        if (missing < 0) {
            ++at;       // a failed candidate: the next byte may start the real frame
            continue;
        }
        s.skip = at - from;
        if (missing == 0)
            s.length = lengthAt(buffer, at);
        else
            s.missing = missing;
        return s;
    }
    s.skip = qMax(0, buffer.size() - qMax(0, from));
    return s;
}

int frameLength(const QByteArray &buffer)
{
    if (buffer.isEmpty() || missingAt(buffer, 0) != 0)
        return 0;
    return lengthAt(buffer, 0);
}

int junkAtFront(const QByteArray &buffer)
{
    return scan(buffer).skip;
}

namespace {

// parse(), with the frame's data copied out only when the caller needs it. missingBytes has
// checked every delimiter, length and check sum.
Frame parseFrame(const QByteArray &buffer, bool withData)
{
    Frame f;
    if (missingBytes(buffer) != 0)
        return f;
    f.length = lengthAt(buffer, 0);
    int base = 1;
    switch (ByteOrder::u8(buffer, 0)) {
    case ShortAck:
        f.kind = Kind::Ack;
        return f;
    case TokenStart:
        f.kind = Kind::Token;
        f.da = ByteOrder::u8(buffer, 1);
        f.sa = ByteOrder::u8(buffer, 2);
        return f;
    case FixedStart:
        f.kind = Kind::Fixed;
        break;
    case FixedDataStart:
        f.kind = Kind::FixedData;
        if (withData)
            f.data = buffer.mid(4, FixedDataLength - 6);
        break;
    default:
        f.kind = Kind::Variable;
        base = 4;
        if (withData)
            f.data = buffer.mid(PduOffset, f.length - PduOffset - 2);
        break;
    }
    f.da = ByteOrder::u8(buffer, base);
    f.sa = ByteOrder::u8(buffer, base + 1);
    f.fc = ByteOrder::u8(buffer, base + 2);
    return f;
}

} // namespace

Frame parse(const QByteArray &buffer)
{
    return parseFrame(buffer, true);
}

namespace {

// A frame of `station` to this master: the one address check that every judge shares.
bool isFromStationToMaster(const Frame &f, int station, int ownAddress)
{
    return f.sa == (station & 0xFF) && f.da == (ownAddress & 0xFF);
}

bool isAnswerFrom(const Frame &f, int station, int ownAddress)
{
    return f.kind == Kind::Variable && isFromStationToMaster(f, station, ownAddress);
}

} // namespace

bool letsMasterPoll(const QByteArray &reply)
{
    if (reply.isEmpty())
        return false;
    if (ByteOrder::u8(reply, 0) == ShortAck)
        return true;
    return reply.size() == FixedLength && ByteOrder::u8(reply, 4) == 0x04;
}

Reply classify(const QByteArray &frame, int station, int ownAddress, quint16 reference)
{
    const Frame f = parseFrame(frame, false);
    switch (f.kind) {
    case Kind::Ack:
        return Reply::Ack;
    case Kind::Invalid:
        return Reply::Other;
    case Kind::Token:
        return Reply::Foreign;
    case Kind::Fixed:
    case Kind::FixedData:
        return isFromStationToMaster(f, station, ownAddress) ? Reply::Other : Reply::Foreign;
    case Kind::Variable:
        break;
    }
    const QByteArray pdu = QByteArray::fromRawData(frame.constData() + PduOffset, f.length - PduOffset - 2);
    if (!isFromStationToMaster(f, station, ownAddress) || S7Pdu::reference(pdu) != reference)
        return Reply::Foreign;
    return Reply::Answer;
}

Reply classifyGreetingReply(const QByteArray &frame, int ownAddress)
{
    const Frame f = parseFrame(frame, false);
    switch (f.kind) {
    case Kind::Ack:
        return Reply::Other;
    case Kind::Fixed:
    case Kind::FixedData:
    case Kind::Variable:
        return f.da == (ownAddress & 0xFF) ? Reply::Other : Reply::Foreign;
    default:
        return Reply::Foreign;
    }
}

bool isShortAck(const QByteArray &frame)
{
    return frame.size() == 1 && quint8(frame.at(0)) == ShortAck;
}

bool greetingAnswered(const QByteArray &reply, int station)
{
    const Frame answer = parse(reply);
    return (answer.kind == Kind::Fixed || answer.kind == Kind::Variable) && answer.sa == (station & 0xFF);
}

bool mayOwnShortAck(const QByteArray &frame, int ownAddress)
{
    constexpr int RequestBit = 0x40;
    const Frame f = parseFrame(frame, false);
    const bool addressed = f.kind == Kind::Fixed || f.kind == Kind::FixedData || f.kind == Kind::Variable;
    if (!addressed || !(f.fc & RequestBit) || f.sa == (ownAddress & 0xFF) || f.da == (ownAddress & 0xFF))
        return false;
    // The services an E5 acknowledges: send data (low, high), send and request data (low, high).
    switch (f.fc & 0x0F) {
    case 0x3: case 0x5: case 0xC: case 0xD:
        return true;
    default:
        return false;
    }
}

int judgeReadAnswer(const QByteArray &reply, int station, int ownAddress, int length, QByteArray *out)
{
    const Frame f = parse(reply);
    if (!isAnswerFrom(f, station, ownAddress))
        return -1;
    // The judge appends the data only to an answer it accepts.
    return S7Pdu::judgeReadAck(f.data, length, out) == S7Pdu::Verdict::Ok ? 0 : -1;
}

int judgeElementReadAnswer(const QByteArray &reply, int station, int ownAddress, int area, int count,
                           QByteArray *words)
{
    const Frame f = parse(reply);
    if (!isAnswerFrom(f, station, ownAddress))
        return -1;
    return S7Pdu::judgeElementReadAck(f.data, area, count, words) == S7Pdu::Verdict::Ok ? 0 : -1;
}

int judgeWriteAnswer(const QByteArray &reply, int station, int ownAddress)
{
    const Frame f = parse(reply);
    if (!isAnswerFrom(f, station, ownAddress))
        return -1;
    return S7Pdu::judgeWriteAck(f.data) == S7Pdu::Verdict::Ok ? 0 : -1;
}

} // namespace PpiFrames
