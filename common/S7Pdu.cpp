#include "S7Pdu.h"

namespace S7Pdu {

namespace {

void put16(QByteArray &b, int v)
{
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
}

void put24(QByteArray &b, int v)
{
    b.append(char((v >> 16) & 0xFF));
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
}

int get8(const QByteArray &b, int at) { return quint8(b.at(at)); }
int get16(const QByteArray &b, int at) { return (get8(b, at) << 8) | get8(b, at + 1); }

QByteArray jobHeader(quint16 reference, int parameterLength, int dataLength)
{
    QByteArray h;
    h.reserve(JobHeaderLength + parameterLength + dataLength);    // the whole job, built in place
    h.append(char(0x32));           // protocol id
    h.append(char(0x01));           // job request
    put16(h, 0);                    // reserved
    put16(h, reference);
    put16(h, parameterLength);
    put16(h, dataLength);
    return h;
}

// One any-pointer item: 0x12, length 10, syntax id 0x10, transport size, count, DB, area, address.
void appendItem(QByteArray &b, ItemSize size, int count, int area, int dbNumber, int bitAddress)
{
    b.append(char(0x12));
    b.append(char(0x0A));
    b.append(char(0x10));
    b.append(char(size));
    put16(b, count);
    put16(b, dbNumber);
    b.append(char(area & 0xFF));
    put24(b, bitAddress);
}

// Common checks of an acknowledgement; returns Ok when the header is a clean ack-data.
Verdict judgeAckHeader(const QByteArray &pdu, int function)
{
    if (pdu.size() < AckHeaderLength + 2 || get8(pdu, 0) != 0x32 || get8(pdu, 1) != 0x03)
        return Verdict::NotAnAnswer;
    if (get8(pdu, 10) != 0 || get8(pdu, 11) != 0)
        return Verdict::HeaderError;
    if (get8(pdu, AckHeaderLength) != function || get8(pdu, AckHeaderLength + 1) != 1)
        return Verdict::NotAnAnswer;
    return Verdict::Ok;
}

} // namespace

QByteArray readJob(quint16 reference, int area, int dbNumber, int byteAddress, int byteCount)
{
    const qint64 bitAddress = qint64(byteAddress) * 8;
    if (bitAddress < 0 || bitAddress > MaxBitAddress || byteCount < 0 || byteCount > MaxItemCount
        || dbNumber < 0 || dbNumber > MaxDbNumber)
        return QByteArray();
    QByteArray pdu = jobHeader(reference, 14, 0);
    pdu.append(char(0x04));         // read variable
    pdu.append(char(0x01));         // one item
    appendItem(pdu, ItemSize::Byte, byteCount, area, dbNumber, int(bitAddress));
    return pdu;
}

QByteArray writeJob(quint16 reference, int area, int dbNumber, int bitAddress, ItemSize size,
                    const QByteArray &data)
{
    const bool bit = size == ItemSize::Bit;
    const QByteArray payload = bit ? data.left(1) : data;
    const int n = payload.size();
    if (bitAddress < 0 || bitAddress > MaxBitAddress || (!bit && bitAddress % 8 != 0)
        || n > MaxWriteItemBytes || dbNumber < 0 || dbNumber > MaxDbNumber)
        return QByteArray();
    QByteArray pdu = jobHeader(reference, 14, 4 + n);
    pdu.append(char(0x05));         // write variable
    pdu.append(char(0x01));         // one item
    appendItem(pdu, size, n, area, dbNumber, bitAddress);
    pdu.append(char(0x00));         // return code, reserved in a request
    pdu.append(char(bit ? 0x03 : 0x04));    // data transport size: bits / bytes with length in bits
    put16(pdu, bit ? n : n * 8);
    pdu.append(payload);
    return pdu;
}

int readCapacity(int pduLength)
{
    return qBound(0, pduLength - ReadAckOverhead, 0xFFFF);
}

int writeCapacity(int pduLength)
{
    return qBound(0, pduLength - WriteJobOverhead, 0xFFFF / 8);
}

quint16 reference(const QByteArray &pdu)
{
    if (pdu.size() < 6)
        return 0;
    return quint16(get16(pdu, 4));
}

Verdict judgeReadAck(const QByteArray &pdu, int byteCount, QByteArray *data)
{
    const Verdict header = judgeAckHeader(pdu, 0x04);
    if (header != Verdict::Ok)
        return header;
    const int item = AckHeaderLength + 2;
    if (pdu.size() < item + 1)
        return Verdict::WrongLength;
    if (get8(pdu, item) != 0xFF)
        return Verdict::ItemError;
    if (pdu.size() < item + 4)
        return Verdict::WrongLength;
    // Length in bits for the byte transport sizes, in bytes for octet strings.
    const int transport = get8(pdu, item + 1);
    int length = get16(pdu, item + 2);
    if (transport == 0x03 || transport == 0x04 || transport == 0x05)
        length = (length + 7) / 8;
    if (length != byteCount || pdu.size() < item + 4 + byteCount)
        return Verdict::WrongLength;
    data->append(pdu.mid(item + 4, byteCount));
    return Verdict::Ok;
}

Verdict judgeWriteAck(const QByteArray &pdu)
{
    const Verdict header = judgeAckHeader(pdu, 0x05);
    if (header != Verdict::Ok)
        return header;
    if (pdu.size() < WriteAckLength)
        return Verdict::WrongLength;
    return get8(pdu, AckHeaderLength + 2) == 0xFF ? Verdict::Ok : Verdict::ItemError;
}

} // namespace S7Pdu
