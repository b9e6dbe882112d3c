#include "S7Pdu.h"

#include <cstring>

#include "ByteOrder.h"

namespace S7Pdu {

using ByteOrder::put16;
using ByteOrder::put24;
using ByteOrder::be16;
using ByteOrder::u8;

namespace {

// The header of a job of `parameterLength` and `dataLength` bytes, at the start of a buffer that
// holds the whole job; returns where the parameters go.
uchar *jobHeader(QByteArray &job, quint16 reference, int parameterLength, int dataLength)
{
    job = QByteArray(JobHeaderLength + parameterLength + dataLength, Qt::Uninitialized);
    uchar *at = reinterpret_cast<uchar *>(job.data());
    *at++ = 0x32;                   // protocol id
    *at++ = 0x01;                   // job request
    at = put16(at, 0);              // reserved
    at = put16(at, reference);
    at = put16(at, parameterLength);
    return put16(at, dataLength);
}

constexpr int WordTransport = 0x04;
constexpr int OctetTransport = 0x09;

bool countsWords(int area) { return area == 0x06 || area == 0x07; }
bool holdsElements(int area) { return area >= 0x1C && area <= 0x1F; }

// One any-pointer item: 0x12, length 10, syntax id 0x10, transport size, count, DB, area, address.
uchar *putItem(uchar *at, int transport, int count, int area, int dbNumber, int bitAddress)
{
    *at++ = 0x12;
    *at++ = 0x0A;
    *at++ = 0x10;
    *at++ = uchar(transport);
    at = put16(at, count);
    at = put16(at, dbNumber);
    *at++ = uchar(area & 0xFF);
    return put24(at, bitAddress);
}

// Common checks of an acknowledgement; returns Ok when the header is a clean ack-data.
Verdict judgeAckHeader(const QByteArray &pdu, int function)
{
    if (pdu.size() < AckHeaderLength + 2 || u8(pdu, 0) != 0x32 || u8(pdu, 1) != 0x03)
        return Verdict::NotAnAnswer;
    if (u8(pdu, 10) != 0 || u8(pdu, 11) != 0)
        return Verdict::HeaderError;
    if (u8(pdu, AckHeaderLength) != function || u8(pdu, AckHeaderLength + 1) != 1)
        return Verdict::NotAnAnswer;
    return Verdict::Ok;
}

} // namespace

QByteArray readJob(quint16 reference, int area, int dbNumber, int byteAddress, int byteCount)
{
    const qint64 bitAddress = qint64(byteAddress) * 8;
    const bool words = countsWords(area);
    if (bitAddress < 0 || bitAddress > MaxBitAddress || byteCount < 0 || byteCount > MaxItemCount
        || dbNumber < 0 || dbNumber > MaxDbNumber || holdsElements(area) || (words && byteCount % 2 != 0))
        return QByteArray();
    QByteArray pdu;
    uchar *at = jobHeader(pdu, reference, 14, 0);
    *at++ = 0x04;                   // read variable
    *at++ = 0x01;                   // one item
    if (words)
        putItem(at, WordTransport, byteCount / 2, area, dbNumber, int(bitAddress));
    else
        putItem(at, int(ItemSize::Byte), byteCount, area, dbNumber, int(bitAddress));
    return pdu;
}

QByteArray writeJob(quint16 reference, int area, int dbNumber, int bitAddress, ItemSize size,
                    const QByteArray &data)
{
    const bool bit = size == ItemSize::Bit;
    const int n = bit ? qMin(1, data.size()) : data.size();
    const bool words = countsWords(area);
    if (bitAddress < 0 || bitAddress > MaxBitAddress || (!bit && bitAddress % 8 != 0)
        || n > MaxWriteItemBytes || dbNumber < 0 || dbNumber > MaxDbNumber || holdsElements(area)
        || (words && (bit || n % 2 != 0 || bitAddress % 16 != 0)))
        return QByteArray();
    QByteArray pdu;
    uchar *at = jobHeader(pdu, reference, 14, 4 + n);
    *at++ = 0x05;                   // write variable
    *at++ = 0x01;                   // one item
    if (words)
        at = putItem(at, WordTransport, n / 2, area, dbNumber, bitAddress);
    else
        at = putItem(at, int(size), n, area, dbNumber, bitAddress);
    *at++ = 0x00;                   // return code, reserved in a request
    *at++ = bit ? 0x03 : 0x04;      // data transport size: bits / bytes with length in bits
    at = put16(at, bit ? n : n * 8);
    if (n > 0)
        memcpy(at, data.constData(), size_t(n));
    return pdu;
}

QByteArray elementReadJob(quint16 reference, int area, int first, int count)
{
    if (!holdsElements(area) || first < 0 || first > MaxBitAddress || count < 0 || count > MaxItemCount)
        return QByteArray();
    QByteArray pdu;
    uchar *at = jobHeader(pdu, reference, 14, 0);
    *at++ = 0x04;
    *at++ = 0x01;
    putItem(at, area, count, area, 0, first);
    return pdu;
}

QByteArray elementWriteJob(quint16 reference, int area, int first, const QByteArray &words)
{
    const int n = words.size();
    if (!holdsElements(area) || first < 0 || first > MaxBitAddress || n % 2 != 0 || n > MaxWriteItemBytes)
        return QByteArray();
    QByteArray pdu;
    uchar *at = jobHeader(pdu, reference, 14, 4 + n);
    *at++ = 0x05;
    *at++ = 0x01;
    at = putItem(at, area, n / 2, area, 0, first);
    *at++ = 0x00;
    *at++ = OctetTransport;         // length in bytes
    at = put16(at, n);
    if (n > 0)
        memcpy(at, words.constData(), size_t(n));
    return pdu;
}

bool isElementRecordSize(int area, int size)
{
    if (area == 0x1E || area == 0x1F)
        return size == 2 || size == 3 || size == MaxElementRecord;
    return size == 2;
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
    return quint16(be16(pdu, 4));
}

bool isAcknowledgement(const QByteArray &pdu)
{
    return pdu.size() >= AckHeaderLength && u8(pdu, 0) == 0x32 && (u8(pdu, 1) == 0x02 || u8(pdu, 1) == 0x03);
}

// The one item of a read acknowledgement, up to its length field: the header good, the item's
// return code 0xFF, its four header bytes there. The item starts at ReadItemAt.
constexpr int ReadItemAt = AckHeaderLength + 2;
static Verdict judgeReadItem(const QByteArray &pdu)
{
    const Verdict header = judgeAckHeader(pdu, 0x04);
    if (header != Verdict::Ok)
        return header;
    if (pdu.size() < ReadItemAt + 1)
        return Verdict::WrongLength;
    if (u8(pdu, ReadItemAt) != 0xFF)
        return Verdict::ItemError;
    if (pdu.size() < ReadItemAt + 4)
        return Verdict::WrongLength;
    return Verdict::Ok;
}

Verdict judgeReadAck(const QByteArray &pdu, int byteCount, QByteArray *data)
{
    const Verdict itemVerdict = judgeReadItem(pdu);
    if (itemVerdict != Verdict::Ok)
        return itemVerdict;
    const int item = ReadItemAt;
    // Length in bits for the byte transport sizes, in bytes for octet strings.
    const int transport = u8(pdu, item + 1);
    int length = be16(pdu, item + 2);
    if (transport == 0x03 || transport == 0x04 || transport == 0x05)
        length = (length + 7) / 8;
    if (length != byteCount || pdu.size() < item + 4 + byteCount)
        return Verdict::WrongLength;
    data->append(pdu.constData() + item + 4, byteCount);
    return Verdict::Ok;
}

Verdict judgeElementReadAck(const QByteArray &pdu, int area, int count, QByteArray *words)
{
    const Verdict itemVerdict = judgeReadItem(pdu);
    if (itemVerdict != Verdict::Ok)
        return itemVerdict;
    const int item = ReadItemAt;
    if (count < 1)
        return Verdict::WrongLength;
    const int transport = u8(pdu, item + 1);
    int length = be16(pdu, item + 2);
    if (transport == 0x03 || transport == 0x04 || transport == 0x05)
        length = (length + 7) / 8;
    const int record = length / count;
    // One fill byte may follow an odd item; nothing else may.
    const int rest = pdu.size() - (item + 4 + length);
    if (length % count != 0 || !isElementRecordSize(area, record) || rest < 0 || rest > (length % 2))
        return Verdict::WrongLength;
    for (int k = 0; k < count; ++k)
        words->append(pdu.constData() + item + 4 + (k + 1) * record - 2, 2);
    return Verdict::Ok;
}

Verdict judgeWriteAck(const QByteArray &pdu)
{
    const Verdict header = judgeAckHeader(pdu, 0x05);
    if (header != Verdict::Ok)
        return header;
    if (pdu.size() < WriteAckLength)
        return Verdict::WrongLength;
    return u8(pdu, AckHeaderLength + 2) == 0xFF ? Verdict::Ok : Verdict::ItemError;
}

} // namespace S7Pdu
