// Memory images for tests that move many bytes: contents that show a byte read from or written
// to the wrong place, and their form as element lists of every type.
#ifndef BYTEIMAGES_H
#define BYTEIMAGES_H

#include <QByteArray>
#include <QList>
#include <QtEndian>

#include "ElementTypes.h"
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

// Bytes one element of `type` takes in the PLC.
inline int widthOf(int type)
{
    static const int widths[] = {0, 1, 1, 1, 2, 2, 4, 4, 4, 8, 8, 8};
    return type >= 1 && type <= 11 ? widths[type] : 0;
}

template<typename T>
QVariant listFrom(const QByteArray &bytes, int count)
{
    QList<T> list;
    for (int i = 0; i < count; ++i) {
        const char *at = bytes.constData() + i * int(sizeof(T));
        if constexpr (sizeof(T) == 1)
            list.append(T(*at));
        else
            list.append(qFromBigEndian<T>(at));
    }
    return QVariant::fromValue(list);
}

// The element list of `type` whose elements are `bytes` in PLC order (big-endian).
inline QVariant listFrom(int type, const QByteArray &bytes, int count)
{
    if (type == Bool)
        return QVariant();
    return ElementTypes::withElementType(type, QVariant(), [&](auto tag) {
        return listFrom<typename decltype(tag)::type>(bytes, count);
    });
}

template<typename T>
QByteArray bytesFrom(const QVariant &list)
{
    QByteArray out;
    for (T element : list.value<QList<T>>()) {
        char b[sizeof(T)];
        if constexpr (sizeof(T) == 1)
            b[0] = char(element);
        else
            qToBigEndian(element, b);
        out.append(b, int(sizeof(T)));
    }
    return out;
}

// The elements of a result in PLC order, so lists of floats compare bit for bit.
inline QByteArray bytesFrom(int type, const QVariant &list)
{
    if (type == Bool)
        return QByteArray();
    return ElementTypes::withElementType(type, QByteArray(), [&](auto tag) {
        return bytesFrom<typename decltype(tag)::type>(list);
    });
}

#endif // BYTEIMAGES_H
