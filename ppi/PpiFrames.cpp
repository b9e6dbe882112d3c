#include "PpiFrames.h"

#include "S7Pdu.h"

namespace PpiFrames {

namespace {

int byteAt(const QByteArray &b, int at) { return quint8(b.at(at)); }

} // namespace

quint8 checksum(const QByteArray &bytes, int from, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count; ++i) {
        const int at = from + i;
        if (at >= 0 && at < bytes.size())
            sum += quint8(bytes.at(at));
    }
    return quint8(sum & 0xFF);
}

QByteArray fixedFrame(int da, int sa, int fc)
{
    QByteArray f;
    f.reserve(FixedLength);
    f.append(char(FixedStart));
    f.append(char(da & 0xFF));
    f.append(char(sa & 0xFF));
    f.append(char(fc & 0xFF));
    f.append(char(checksum(f, 1, 3)));
    f.append(char(EndDelimiter));
    return f;
}

QByteArray greeting(int station) { return fixedFrame(station, 0, FcFdlStatus); }

QByteArray poll(int station, int ownAddress) { return fixedFrame(station, ownAddress, FcPoll); }

QByteArray variableFrame(int da, int sa, int fc, const QByteArray &data)
{
    const int le = 3 + data.size();
    if (le > MaxLe)
        return QByteArray();
    QByteArray f;
    f.reserve(le + 6);
    f.append(char(VariableStart));
    f.append(char(le));
    f.append(char(le));
    f.append(char(VariableStart));
    f.append(char(da & 0xFF));
    f.append(char(sa & 0xFF));
    f.append(char(fc & 0xFF));
    f.append(data);
    f.append(char(checksum(f, 4, le)));
    f.append(char(EndDelimiter));
    return f;
}

QByteArray readRequest(int station, int ownAddress, int area, int dbNumber, int byteAddress, int length,
                       quint16 reference)
{
    const QByteArray job = S7Pdu::readJob(reference, area, dbNumber, byteAddress, length);
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

// missingBytes for the frame that starts at `from`.
int missingAt(const QByteArray &buffer, int from)
{
    const int size = buffer.size() - from;
    if (size <= 0)
        return 1;
    switch (byteAt(buffer, from)) {
    case ShortAck:
        return 0;
    case FixedStart:
        return qMax(0, FixedLength - size);
    case VariableStart: {
        if (size < 2)
            return 3;   // LE LE 68 at least, before the length is known
        const int le = byteAt(buffer, from + 1);
        if (le < 3)     // DA, SA and FC are always there
            return -1;
        if (size >= 3 && byteAt(buffer, from + 2) != le)
            return -1;
        if (size >= 4 && byteAt(buffer, from + 3) != VariableStart)
            return -1;
        return qMax(0, le + 6 - size);
    }
    default:
        return -1;
    }
}

} // namespace

int missingBytes(const QByteArray &buffer)
{
    return missingAt(buffer, 0);
}

int frameLength(const QByteArray &buffer)
{
    if (buffer.isEmpty() || missingAt(buffer, 0) != 0)
        return 0;
    switch (byteAt(buffer, 0)) {
    case ShortAck:
        return 1;
    case FixedStart:
        return FixedLength;
    default:
        return byteAt(buffer, 1) + 6;
    }
}

int junkAtFront(const QByteArray &buffer)
{
    int skip = 0;
    while (skip < buffer.size() && missingAt(buffer, skip) < 0)
        ++skip;
    return skip;
}

Frame parse(const QByteArray &buffer)
{
    Frame f;
    if (missingBytes(buffer) != 0)
        return f;
    switch (byteAt(buffer, 0)) {
    case ShortAck:
        f.kind = Kind::Ack;
        f.length = 1;
        return f;
    case FixedStart:
        if (checksum(buffer, 1, 3) != byteAt(buffer, 4) || byteAt(buffer, 5) != EndDelimiter)
            return f;
        f.kind = Kind::Fixed;
        f.length = FixedLength;
        break;
    default: {     // variable frame: missingBytes has checked LE, the repeated LE and the 0x68
        const int le = byteAt(buffer, 1);
        if (checksum(buffer, 4, le) != byteAt(buffer, 4 + le) || byteAt(buffer, 5 + le) != EndDelimiter)
            return f;
        f.kind = Kind::Variable;
        f.length = le + 6;
        f.data = buffer.mid(PduOffset, le - 3);
        break;
    }
    }
    f.da = byteAt(buffer, 1 + (f.kind == Kind::Variable ? 3 : 0));
    f.sa = byteAt(buffer, 2 + (f.kind == Kind::Variable ? 3 : 0));
    f.fc = byteAt(buffer, 3 + (f.kind == Kind::Variable ? 3 : 0));
    return f;
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
    if (byteAt(reply, 0) == ShortAck)
        return true;
    return reply.size() == FixedLength && byteAt(reply, 4) == 0x04;
}

Reply classify(const QByteArray &frame, int station, int ownAddress, quint16 reference)
{
    const Frame f = parse(frame);
    switch (f.kind) {
    case Kind::Ack:
        return Reply::Ack;
    case Kind::Invalid:
        return Reply::Other;
    case Kind::Fixed:
        return isFromStationToMaster(f, station, ownAddress) ? Reply::Other : Reply::Foreign;
    case Kind::Variable:
        break;
    }
    if (!isFromStationToMaster(f, station, ownAddress) || S7Pdu::reference(f.data) != reference)
        return Reply::Foreign;
    return Reply::Answer;
}

int judgeReadAnswer(const QByteArray &reply, int station, int ownAddress, int length, QByteArray *out)
{
    const Frame f = parse(reply);
    if (!isAnswerFrom(f, station, ownAddress))
        return -1;
    QByteArray data;
    if (S7Pdu::judgeReadAck(f.data, length, &data) != S7Pdu::Verdict::Ok)
        return -1;
    out->append(data);
    return 0;
}

int judgeWriteAnswer(const QByteArray &reply, int station, int ownAddress)
{
    const Frame f = parse(reply);
    if (!isAnswerFrom(f, station, ownAddress))
        return -1;
    return S7Pdu::judgeWriteAck(f.data) == S7Pdu::Verdict::Ok ? 0 : -1;
}

} // namespace PpiFrames
