// What the soak knows of the PLC memory it talks to: for every byte of a window of each area,
// the set of values the byte may hold. A write the driver confirmed leaves one value; a write
// that failed may or may not have reached the PLC, so it adds its value to the set. A read the
// driver reports as good must find each byte's value in its set (and then pins it down).
#ifndef MEMORYMODEL_H
#define MEMORYMODEL_H

#include <QByteArray>
#include <QList>

#include <bitset>
#include <vector>

class MemoryModel
{
public:
    MemoryModel(int areas, int windowBytes);

    int windowBytes() const { return window; }

    // Number of bytes (bits) that could not hold the value read. When there is none, the bytes
    // are pinned down to what was read.
    int checkBytes(int area, int byteAddress, const QByteArray &bytes);
    int checkBits(int area, int byteAddress, int startBit, const QList<bool> &bits);

    void bytesWritten(int area, int byteAddress, const QByteArray &bytes, bool confirmed);
    void bitWritten(int area, int byteAddress, int bit, bool value, bool confirmed);

    // Index of the first byte of `bytes` that the model says cannot be there; -1 when none.
    int firstImpossible(int area, int byteAddress, const QByteArray &bytes) const;
    // The possible values of one byte, as text ("00", "{00 7f}").
    QString possible(int area, int byteAddress) const;

private:
    using Values = std::bitset<256>;
    Values &at(int area, int byteAddress);
    const Values &at(int area, int byteAddress) const;

    int window;
    std::vector<Values> values;
};

#endif // MEMORYMODEL_H
