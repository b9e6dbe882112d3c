#include "MemoryModel.h"

#include <QString>
#include <QStringList>

MemoryModel::MemoryModel(int areas, int windowBytes)
    : window(windowBytes), values(size_t(areas) * size_t(windowBytes))
{
    // plcsim starts with its memory cleared.
    for (Values &v : values)
        v.set(0);
}

MemoryModel::Values &MemoryModel::at(int area, int byteAddress)
{
    return values.at(size_t(area) * size_t(window) + size_t(byteAddress));
}

const MemoryModel::Values &MemoryModel::at(int area, int byteAddress) const
{
    return values.at(size_t(area) * size_t(window) + size_t(byteAddress));
}

int MemoryModel::checkBytes(int area, int byteAddress, const QByteArray &bytes)
{
    int wrong = 0;
    for (int i = 0; i < bytes.size(); ++i) {
        if (!at(area, byteAddress + i).test(size_t(quint8(bytes.at(i)))))
            ++wrong;
    }
    // A wrong value pins nothing down: it would make later good reads look wrong.
    if (wrong > 0)
        return wrong;
    for (int i = 0; i < bytes.size(); ++i) {
        Values &v = at(area, byteAddress + i);
        v.reset();
        v.set(size_t(quint8(bytes.at(i))));
    }
    return 0;
}

int MemoryModel::checkBits(int area, int byteAddress, int startBit, const QList<bool> &bits)
{
    std::vector<Values> narrowed;
    int wrong = 0;
    for (int k = 0; k < bits.size(); ++k) {
        const int bitIndex = startBit + k;
        const int mask = 1 << (bitIndex % 8);
        if (bitIndex % 8 == 0 || k == 0)
            narrowed.push_back(at(area, byteAddress + bitIndex / 8));
        Values &v = narrowed.back();
        Values agreeing;
        for (int b = 0; b < 256; ++b) {
            if (v.test(size_t(b)) && ((b & mask) != 0) == bits.at(k))
                agreeing.set(size_t(b));
        }
        if (agreeing.none())
            ++wrong;
        else
            v = agreeing;
    }
    if (wrong > 0)
        return wrong;
    for (size_t i = 0; i < narrowed.size(); ++i)
        at(area, byteAddress + (startBit / 8) + int(i)) = narrowed[i];
    return 0;
}

int MemoryModel::firstImpossible(int area, int byteAddress, const QByteArray &bytes) const
{
    for (int i = 0; i < bytes.size(); ++i) {
        if (!at(area, byteAddress + i).test(size_t(quint8(bytes.at(i)))))
            return i;
    }
    return -1;
}

void MemoryModel::bytesWritten(int area, int byteAddress, const QByteArray &bytes, bool confirmed)
{
    for (int i = 0; i < bytes.size(); ++i) {
        Values &v = at(area, byteAddress + i);
        if (confirmed)
            v.reset();
        v.set(size_t(quint8(bytes.at(i))));
    }
}

void MemoryModel::bitWritten(int area, int byteAddress, int bit, bool value, bool confirmed)
{
    Values &v = at(area, byteAddress);
    const int mask = 1 << bit;
    Values after;
    for (int b = 0; b < 256; ++b) {
        if (v.test(size_t(b)))
            after.set(size_t(value ? (b | mask) : (b & ~mask)));
    }
    if (confirmed)
        v = after;
    else
        v |= after;
}

QString MemoryModel::possible(int area, int byteAddress) const
{
    const Values &v = at(area, byteAddress);
    QStringList parts;
    for (int b = 0; b < 256; ++b) {
        if (v.test(size_t(b)))
            parts << QString::asprintf("%02x", b);
    }
    return parts.size() == 1 ? parts.first() : QStringLiteral("{%1}").arg(parts.join(QLatin1Char(' ')));
}
