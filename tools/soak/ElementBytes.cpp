#include "ElementBytes.h"

#include <QList>

#include <cstring>

#include "ByteOrder.h"
#include "CDriveBaseClass.h"

namespace ElementBytes {

namespace {

template<typename T>
QVariant listOf(const QByteArray &bytes)
{
    QList<T> list;
    for (int at = 0; at + int(sizeof(T)) <= bytes.size(); at += int(sizeof(T))) {
        const quint64 bits = ByteOrder::beField(bytes, at, int(sizeof(T)));
        T element;
        if constexpr (sizeof(T) == 1) {
            const quint8 raw = quint8(bits);
            std::memcpy(&element, &raw, 1);
        } else if constexpr (sizeof(T) == 2) {
            const quint16 raw = quint16(bits);
            std::memcpy(&element, &raw, 2);
        } else if constexpr (sizeof(T) == 4) {
            const quint32 raw = quint32(bits);
            std::memcpy(&element, &raw, 4);
        } else {
            std::memcpy(&element, &bits, 8);
        }
        list.append(element);
    }
    return QVariant::fromValue(list);
}

template<typename T>
bool bytesOf(const QVariant &value, int count, QByteArray *bytes)
{
    if (value.userType() != qMetaTypeId<QList<T>>())
        return false;
    const QList<T> list = value.value<QList<T>>();
    if (list.size() != count)
        return false;
    for (const T &element : list) {
        unsigned char raw[sizeof(T)];
        std::memcpy(raw, &element, sizeof(T));
        // Host byte order is little-endian on every machine we build for.
        for (int j = int(sizeof(T)) - 1; j >= 0; --j)
            bytes->append(char(raw[j]));
    }
    return true;
}

template<typename F>
auto byType(int type, F f)
{
    switch (type) {
    case Int8: return f((char *)nullptr);
    case UInt8: return f((unsigned char *)nullptr);
    case Int16: return f((short *)nullptr);
    case UInt16: return f((unsigned short *)nullptr);
    case Int32: return f((int *)nullptr);
    case UInt32: return f((unsigned int *)nullptr);
    case Float: return f((float *)nullptr);
    case Int64: return f((long long *)nullptr);
    case UInt64: return f((unsigned long long *)nullptr);
    case Double: return f((double *)nullptr);
    default: return decltype(f((char *)nullptr))();
    }
}

} // namespace

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the soak converts elements for little-endian hosts");

int width(int type)
{
    return byType(type, [](auto *tag) { return int(sizeof(*tag)); });
}

QVariant toElements(int type, const QByteArray &bytes)
{
    return byType(type, [&](auto *tag) { return listOf<std::remove_pointer_t<decltype(tag)>>(bytes); });
}

bool toBytes(int type, const QVariant &value, int count, QByteArray *bytes)
{
    return byType(type, [&](auto *tag) {
        return bytesOf<std::remove_pointer_t<decltype(tag)>>(value, count, bytes);
    });
}

} // namespace ElementBytes
