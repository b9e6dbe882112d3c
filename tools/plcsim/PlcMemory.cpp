#include "PlcMemory.h"

#include <QMutexLocker>

namespace {

bool knownArea(int area)
{
    return (area >= 0x81 && area <= 0x84) || (area >= 0x05 && area <= 0x07) || (area >= 0x1C && area <= 0x1F)
           || area == 0x80 || area == PlcMemory::PeripheralOutputs;
}

} // namespace

PlcMemory::PlcMemory()
{
    for (const Seed &s : Seeds)
        write(s.area, 0, 2 * s.number, QByteArray::fromHex(QByteArray::number(0x10000 | s.word, 16).mid(1)));
    for (const ByteSeed &s : TextSeeds)
        write(0x84, s.db, s.byte, QByteArray::fromHex(s.hex));
}

QByteArray *PlcMemory::block(int area, int dbNumber)
{
    if (!knownArea(area))
        return nullptr;
    if (area != 0x84)
        dbNumber = 0;
    else if (dbNumber < 1 || dbNumber > 0xFFFF)
        return nullptr;
    const quint32 key = (quint32(area) << 16) | quint32(dbNumber);
    auto it = blocks.find(key);
    if (it == blocks.end())
        it = blocks.insert(key, QByteArray(AreaSize, '\0'));
    return &it.value();
}

bool PlcMemory::read(int area, int dbNumber, int byteAddress, int length, QByteArray *out)
{
    QMutexLocker lock(&mutex);
    QByteArray *b = block(area, dbNumber);
    if (!b || byteAddress < 0 || length < 0 || byteAddress + length > AreaSize)
        return false;
    out->append(b->constData() + byteAddress, length);
    return true;
}

bool PlcMemory::write(int area, int dbNumber, int byteAddress, const QByteArray &data)
{
    QMutexLocker lock(&mutex);
    QByteArray *b = block(area, dbNumber);
    if (!b || byteAddress < 0 || byteAddress + data.size() > AreaSize)
        return false;
    b->replace(byteAddress, data.size(), data);
    return true;
}

bool PlcMemory::readBit(int area, int dbNumber, int bitAddress, bool *bit)
{
    QMutexLocker lock(&mutex);
    QByteArray *b = block(area, dbNumber);
    if (!b || bitAddress < 0 || bitAddress / 8 >= AreaSize)
        return false;
    *bit = (quint8(b->at(bitAddress / 8)) >> (bitAddress % 8)) & 1;
    return true;
}

bool PlcMemory::writeBit(int area, int dbNumber, int bitAddress, bool bit)
{
    QMutexLocker lock(&mutex);
    QByteArray *b = block(area, dbNumber);
    if (!b || bitAddress < 0 || bitAddress / 8 >= AreaSize)
        return false;
    const int i = bitAddress / 8;
    const quint8 mask = quint8(1u << (bitAddress % 8));
    const quint8 old = quint8(b->at(i));
    (*b)[i] = char(bit ? (old | mask) : (old & ~mask));
    return true;
}

QHash<quint32, QByteArray> PlcMemory::contents()
{
    QMutexLocker lock(&mutex);
    return blocks;
}
