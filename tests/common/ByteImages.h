// Memory images for tests that move many bytes: contents that show a byte read from or written
// to the wrong place, and their form as a UInt8 element list.
#ifndef BYTEIMAGES_H
#define BYTEIMAGES_H

#include <QByteArray>
#include <QList>

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

#endif // BYTEIMAGES_H
