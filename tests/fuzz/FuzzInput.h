// Takes a fuzz input apart into the numbers and byte strings a target needs. Reading past the
// end gives zeros, so every input, however short, is a whole test case.
#ifndef FUZZINPUT_H
#define FUZZINPUT_H

#include <QByteArray>
#include <QtGlobal>

#include <climits>
#include <cstddef>
#include <cstdint>

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : data(data), size(size) {}

    bool empty() const { return at >= size; }
    size_t remaining() const { return size - at; }

    quint8 byte() { return at < size ? data[at++] : 0; }
    quint16 u16() { return quint16((byte() << 8) | byte()); }
    quint32 u32() { return (quint32(u16()) << 16) | u16(); }
    bool flag() { return byte() & 1; }

    // A number in lo..hi (inclusive).
    int range(int lo, int hi)
    {
        const quint64 span = quint64(qint64(hi) - qint64(lo)) + 1;
        return int(qint64(lo) + qint64(u32() % span));
    }

    // A number as a host might pass it: mostly the edges where arithmetic breaks.
    int hostNumber()
    {
        static const int edges[] = {0, 1, -1, 2, 7, 8, 9, 255, 256, 65535, 65536, 100000,
                                    INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1, INT_MAX / 2,
                                    INT_MAX / 8 + 1, 268435456, 536870912, 838860800,
                                    1073741824, 2147483640, -65536};
        const quint8 pick = byte();
        if (pick < 2 * sizeof edges / sizeof edges[0])
            return edges[pick / 2];
        return int(u32());
    }

    QByteArray bytes(size_t n)
    {
        const size_t take = qMin(n, remaining());
        const QByteArray b(reinterpret_cast<const char *>(data + at), int(take));
        at += take;
        return b;
    }
    QByteArray rest() { return bytes(remaining()); }

private:
    const uint8_t *data;
    size_t size;
    size_t at = 0;
};

#endif // FUZZINPUT_H
