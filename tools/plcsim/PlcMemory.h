// The memory of a simulated PLC: inputs, outputs, flags and data blocks of 65536 bytes each
// (V memory is data block 1). Shared by the S7 server and the PPI station; safe to use from
// several threads, so a test can look at what a driver wrote.
#ifndef PLCMEMORY_H
#define PLCMEMORY_H

#include <QByteArray>
#include <QHash>
#include <QMutex>

class PlcMemory
{
public:
    static constexpr int AreaSize = 65536;

    // area: the S7 area code (0x81 inputs, 0x82 outputs, 0x83 flags, 0x84 data blocks).
    // False when the area is unknown or the range leaves the area; nothing is read or written then.
    bool read(int area, int dbNumber, int byteAddress, int length, QByteArray *out);
    bool write(int area, int dbNumber, int byteAddress, const QByteArray &data);
    bool readBit(int area, int dbNumber, int bitAddress, bool *bit);
    bool writeBit(int area, int dbNumber, int bitAddress, bool bit);

    // Every block touched so far, keyed (area << 16) | data-block number, for tests that check
    // that nothing but the place they named has changed.
    QHash<quint32, QByteArray> contents();

private:
    QByteArray *block(int area, int dbNumber);

    QMutex mutex;
    QHash<quint32, QByteArray> blocks;
};

#endif // PLCMEMORY_H
