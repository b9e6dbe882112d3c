#include "ElementBytes.h"

#include <QList>

#include <cstring>

#include "ByteOrder.h"
#include "CDriveBaseClass.h"
#include "ElementTypes.h"

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

// The soak models the byte types 2..11; Bool is left to the drivers' own bit items.
template<typename R, typename F>
R byType(int type, R otherwise, F f)
{
    return type == Bool ? otherwise : ElementTypes::withElementType(type, otherwise, f);
}

} // namespace

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the soak converts elements for little-endian hosts");

int width(int type)
{
    return byType(type, 0, [](auto tag) { return int(sizeof(typename decltype(tag)::type)); });
}

QVariant toElements(int type, const QByteArray &bytes)
{
    return byType(type, QVariant(), [&](auto tag) { return listOf<typename decltype(tag)::type>(bytes); });
}

bool toBytes(int type, const QVariant &value, int count, QByteArray *bytes)
{
    return byType(type, false, [&](auto tag) {
        return bytesOf<typename decltype(tag)::type>(value, count, bytes);
    });
}

} // namespace ElementBytes
