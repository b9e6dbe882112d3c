#include "S7Jobs.h"

#include "ByteOrder.h"
#include "PlcMemory.h"
#include "S7Pdu.h"

using ByteOrder::append16;
using ByteOrder::be16;
using ByteOrder::be24;
using ByteOrder::u8;

namespace S7Jobs {

namespace {

QByteArray ackHeader(quint16 reference, int parameterLength, int dataLength)
{
    QByteArray h;
    h.append(char(0x32));
    h.append(char(0x03));
    append16(h, 0);
    append16(h, reference);
    append16(h, parameterLength);
    append16(h, dataLength);
    h.append(char(0));
    h.append(char(0));
    return h;
}

// The single any-pointer item of a read or write job, starting at PDU offset 12.
struct Item {
    int transport = 0;
    int count = 0;
    int dbNumber = 0;
    int area = 0;
    int bitAddress = 0;
};

bool parseItem(const QByteArray &pdu, Item *item)
{
    if (pdu.size() < S7Pdu::ReadJobLength || be16(pdu, 6) != 14 || u8(pdu, 11) != 1
        || u8(pdu, 12) != 0x12 || u8(pdu, 13) != 0x0A || u8(pdu, 14) != 0x10)
        return false;
    item->transport = u8(pdu, 15);
    item->count = be16(pdu, 16);
    item->dbNumber = be16(pdu, 18);
    item->area = u8(pdu, 20);
    item->bitAddress = be24(pdu, 21);
    return true;
}

bool isElementArea(int area) { return area >= 0x1C && area <= 0x1F; }
bool isAnalogArea(int area) { return area == 0x06 || area == 0x07; }

int missingCode(const Item &item)
{
    const bool served = (item.area >= 0x81 && item.area <= 0x84) || (item.area >= 0x05 && item.area <= 0x07)
                        || item.area == 0x80;
    if (!served || (item.area == 0x84 && item.dbNumber == 0))
        return ItemObjectMissing;
    return ItemAddressOutOfRange;
}

// The code a family refuses an area with before looking at the item; ItemOk when it serves it.
int familyRefusal(const Item &item, const Family &family)
{
    if (item.area == 0x1C || item.area == 0x1D)
        return family.s7_200 ? ItemAccessDenied : ItemOk;
    if (item.area == 0x1E || item.area == 0x1F)
        return family.s7_200 ? ItemOk : ItemObjectMissing;
    if (item.area == 0x80 && family.s7_200)
        return ItemObjectMissing;
    return ItemOk;
}

// Timers and counters: one record per element, the value word last. An S7-300/400 sends the
// word alone; an S7-200 puts a status byte (the timer or counter bit) and, in 5-byte records,
// two more bytes ahead of it.
int readElements(PlcMemory *memory, const Item &item, const Family &family, QByteArray *data)
{
    if (item.transport != item.area)
        return ItemAddressOutOfRange;       // as a PLC answers a timer item with another size
    QByteArray words;
    if (item.count < 1 || !memory->read(item.area, 0, 2 * item.bitAddress, 2 * item.count, &words))
        return ItemAddressOutOfRange;
    int record = family.s7_200 && item.area >= 0x1E ? family.recordBytes : 2;
    if (item.area == 0x1D || item.area == 0x1F) {
        if (item.bitAddress <= WrongRecordTimer && WrongRecordTimer < item.bitAddress + item.count)
            record = 4;
    }
    for (int k = 0; k < item.count; ++k) {
        const QByteArray word = words.mid(2 * k, 2);
        if (record > 2)
            data->append(char(word != QByteArray(2, '\0') ? 1 : 0));
        data->append(QByteArray(qMax(0, record - 3), '\0'));
        data->append(word);
    }
    return ItemOk;
}

QByteArray readAnswer(PlcMemory *memory, quint16 reference, const Item &item, int pduSize, const Family &family)
{
    QByteArray data;
    int code = familyRefusal(item, family);
    int transport = 0x04;
    int lengthField = 0;
    if (code != ItemOk) {
        // refused as the family does
    } else if (isElementArea(item.area)) {
        if (S7Pdu::ReadAckOverhead + qint64(item.count) * S7Pdu::MaxElementRecord > pduSize)
            return errorAck(reference, 0x85, 0x00);
        code = readElements(memory, item, family, &data);
        transport = 0x09;
        lengthField = data.size();
    } else if (isAnalogArea(item.area)) {
        if (S7Pdu::ReadAckOverhead + 2 * item.count > pduSize)
            return errorAck(reference, 0x85, 0x00);
        if (item.transport != 0x04 || item.bitAddress % 16 != 0)
            code = ItemAddressOutOfRange;
        else if (memory->read(item.area, 0, item.bitAddress / 8, 2 * item.count, &data))
            lengthField = item.count * 16;
        else
            code = missingCode(item);
    } else if (item.transport == 0x02) {
        if (S7Pdu::ReadAckOverhead + item.count > pduSize)
            return errorAck(reference, 0x85, 0x00);
        if (item.bitAddress % 8 != 0)
            code = ItemAddressOutOfRange;   // a byte item starts at bit 0 of its byte
        else if (memory->read(item.area, item.dbNumber, item.bitAddress / 8, item.count, &data))
            lengthField = item.count * 8;
        else
            code = missingCode(item);
    } else if (item.transport == 0x01 && item.count == 1) {
        bool bit = false;
        if (memory->readBit(item.area, item.dbNumber, item.bitAddress, &bit)) {
            data.append(char(bit ? 1 : 0));
            transport = 0x03;
            lengthField = 1;
        } else {
            code = missingCode(item);
        }
    } else {
        code = ItemTypeNotSupported;
    }
    if (code != ItemOk) {
        data.clear();
        transport = 0x00;
        lengthField = 0;
    }
    QByteArray pdu = ackHeader(reference, 2, 4 + data.size());
    pdu.append(char(0x04));
    pdu.append(char(0x01));
    pdu.append(char(code));
    pdu.append(char(transport));
    append16(pdu, lengthField);
    pdu.append(data);
    return pdu;
}

// Writes the PLC takes from nobody: the analog inputs, the read-only special memory, and timers
// and counters of an S7-200 (their layout for a write is unknown).
bool refusesWrite(const Item &item, int firstByte, const Family &family)
{
    if (item.area == 0x06 || (item.area == 0x05 && firstByte < ReadOnlySpecialBytes))
        return true;
    return family.s7_200 && isElementArea(item.area);
}

QByteArray writeAnswer(PlcMemory *memory, quint16 reference, const QByteArray &job, const Item &item,
                       const Family &family)
{
    int code = familyRefusal(item, family);
    const int dataAt = S7Pdu::ReadJobLength;
    // The periphery is written to the output modules, which a read of 0x80 does not reach.
    const int area = item.area == 0x80 ? PlcMemory::PeripheralOutputs : item.area;
    if (code != ItemOk) {
        // refused as the family does
    } else if (job.size() < dataAt + 4 || be16(job, 8) != job.size() - dataAt) {
        code = ItemTypeInconsistent;
    } else if (refusesWrite(item, isElementArea(item.area) ? 0 : item.bitAddress / 8, family)) {
        code = ItemAccessDenied;
    } else {
        const int dataTransport = u8(job, dataAt + 1);
        const int lengthField = be16(job, dataAt + 2);
        const QByteArray data = job.mid(dataAt + 4);
        if (isElementArea(item.area)) {
            if (item.transport != item.area || dataTransport != 0x09 || lengthField != 2 * item.count
                || data.size() != lengthField)
                code = ItemTypeInconsistent;
            else if (!memory->write(area, 0, 2 * item.bitAddress, data))
                code = ItemAddressOutOfRange;
        } else if (isAnalogArea(item.area)) {
            if (item.transport != 0x04 || dataTransport != 0x04 || lengthField != item.count * 16
                || data.size() != 2 * item.count)
                code = ItemTypeInconsistent;
            else if (item.bitAddress % 16 != 0 || !memory->write(area, 0, item.bitAddress / 8, data))
                code = ItemAddressOutOfRange;
        } else if (item.transport == 0x02 && dataTransport == 0x04) {
            if (lengthField != item.count * 8 || data.size() != item.count)
                code = ItemTypeInconsistent;
            else if (item.bitAddress % 8 != 0)
                code = ItemAddressOutOfRange;
            else if (!memory->write(area, item.dbNumber, item.bitAddress / 8, data))
                code = missingCode(item);
        } else if (item.transport == 0x01 && dataTransport == 0x03) {
            if (lengthField != item.count || data.size() != item.count || item.count > 1)
                code = ItemTypeInconsistent;
            else if (item.count == 1
                     && !memory->writeBit(area, item.dbNumber, item.bitAddress, data.at(0) != 0))
                code = missingCode(item);
        } else {
            code = ItemTypeNotSupported;
        }
    }
    QByteArray pdu = ackHeader(reference, 2, 1);
    pdu.append(char(0x05));
    pdu.append(char(0x01));
    pdu.append(char(code));
    return pdu;
}

QByteArray setupAnswer(quint16 reference, const QByteArray &job, int pduSize)
{
    if (job.size() < 18 || be16(job, 6) != 8)
        return errorAck(reference, 0x81, 0x04);
    const int asked = be16(job, 16);
    QByteArray pdu = ackHeader(reference, 8, 0);
    pdu.append(job.mid(10, 6));     // function, reserved, both parallel job counts
    append16(pdu, asked > 0 && asked < pduSize ? asked : pduSize);
    return pdu;
}

} // namespace

Job inspect(const QByteArray &pdu)
{
    Job job;
    if (pdu.size() < S7Pdu::JobHeaderLength + 1 || u8(pdu, 0) != 0x32 || u8(pdu, 1) != 0x01)
        return job;
    job.reference = quint16(be16(pdu, 4));
    job.function = u8(pdu, 10);
    Item item;
    if ((job.function == 0x04 || job.function == 0x05) && parseItem(pdu, &item)) {
        job.valid = true;
        job.area = item.area;
        job.dbNumber = item.dbNumber;
    }
    return job;
}

QByteArray answer(PlcMemory *memory, const QByteArray &pdu, int pduSize, Setup setup, int refusedItem,
                  const Family &family)
{
    if (pdu.size() < S7Pdu::JobHeaderLength + 1 || u8(pdu, 0) != 0x32 || u8(pdu, 1) != 0x01)
        return QByteArray();
    if (refusedItem != ItemOk && inspect(pdu).valid)
        return errorItemAnswer(pdu, refusedItem);
    const quint16 reference = quint16(be16(pdu, 4));
    if (pdu.size() > pduSize)
        return errorAck(reference, 0x85, 0x00);
    const int function = u8(pdu, 10);
    if (function == 0xF0 && setup == Setup::Answered)
        return setupAnswer(reference, pdu, pduSize);
    Item item;
    if ((function != 0x04 && function != 0x05) || !parseItem(pdu, &item))
        return errorAck(reference, 0x81, 0x04);
    if (function == 0x04)
        return readAnswer(memory, reference, item, pduSize, family);
    return writeAnswer(memory, reference, pdu, item, family);
}

bool holdsByte(const QByteArray &pdu, int byteAddress)
{
    const Job job = inspect(pdu);
    Item item;
    if (!job.valid || !parseItem(pdu, &item))
        return false;
    const int first = item.bitAddress / 8;
    const int bytes = item.transport == 0x02 ? item.count : 1;
    return byteAddress >= first && byteAddress < first + bytes;
}

QByteArray errorItemAnswer(const QByteArray &pdu, int code)
{
    const Job job = inspect(pdu);
    if (!job.valid)
        return QByteArray();
    const bool read = job.function == 0x04;
    QByteArray answer = ackHeader(job.reference, 2, read ? 4 : 1);
    answer.append(char(job.function));
    answer.append(char(0x01));
    answer.append(char(code));
    if (read)
        answer.append(QByteArray(3, '\0'));     // transport size and length 0: no data
    return answer;
}

QByteArray errorAck(quint16 reference, int errorClass, int errorCode)
{
    QByteArray pdu = ackHeader(reference, 0, 0);
    pdu[10] = char(errorClass);
    pdu[11] = char(errorCode);
    return pdu;
}

QByteArray withReference(const QByteArray &pdu, quint16 reference)
{
    QByteArray copy = pdu;
    if (copy.size() >= 6)
        ByteOrder::set16(copy, 4, reference);
    return copy;
}

} // namespace S7Jobs
