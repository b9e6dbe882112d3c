// Memory images for tests that move many bytes: contents that show a byte read from or written
// to the wrong place, and their form as a UInt8 element list.
#ifndef BYTEIMAGES_H
#define BYTEIMAGES_H

#include <QByteArray>
#include <QList>
#include <QtEndian>

#include "LabelValues.h"

// Bytes that differ from their neighbours and from those of another seed.
inline QByteArray pattern(int size, int seed)
{
    QByteArray b(size, '\0');
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 16);
    }
    return b;
}

inline CLabelVariable uint8Value(const QByteArray &bytes)
{
    QList<unsigned char> list;
    list.reserve(bytes.size());
    for (char c : bytes)
        list << quint8(c);
    return valueOf(list);
}

// The elements of a read result, one byte each.
inline QByteArray bytesOf(const CLabelVariable &v)
{
    QByteArray out;
    for (const QVariant &e : elementsOf(v.value))
        out.append(char(e.toUInt()));
    return out;
}

// Doubles that differ in every byte, and the big-endian bytes the PLC holds for them.
inline QList<double> doublesWithImage(int n, QByteArray *image)
{
    QList<double> values;
    for (int i = 0; i < n; ++i) {
        values << (i - 15) * 1234.5678 + 1.0 / (i + 1);
        char be[8];
        qToBigEndian<quint64>(qFromUnaligned<quint64>(&values.last()), be);
        image->append(be, 8);
    }
    return values;
}

#endif // BYTEIMAGES_H
