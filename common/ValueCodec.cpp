#include "ValueCodec.h"

#include <cstring>
#include <type_traits>

#include "ByteOrder.h"
#include "ElementTypes.h"

static_assert(sizeof(short) == 2 && sizeof(int) == 4 && sizeof(long long) == 8,
              "PLC element widths need 16-, 32- and 64-bit short, int and long long");
static_assert(sizeof(bool) == 1 && sizeof(float) == 4 && sizeof(double) == 8, "one-byte bool, IEEE 754 single and double expected");

namespace {

using ElementTypes::withElementType;

template<typename T>
T fromBits(quint64 bits)
{
    if constexpr (std::is_floating_point_v<T>) {
        using Raw = std::conditional_t<sizeof(T) == 4, quint32, quint64>;
        const Raw raw = Raw(bits);
        T v;
        std::memcpy(&v, &raw, sizeof v);
        return v;
    } else {
        return T(std::make_unsigned_t<T>(bits));
    }
}

template<typename T>
quint64 toBits(T v)
{
    if constexpr (std::is_floating_point_v<T>) {
        using Raw = std::conditional_t<sizeof(T) == 4, quint32, quint64>;
        Raw raw;
        std::memcpy(&raw, &v, sizeof raw);
        return raw;
    } else {
        return quint64(std::make_unsigned_t<T>(v));
    }
}

// Elements of width sizeof(T), most significant byte first.
template<typename T>
QVariant decode(const QByteArray &data, int count)
{
    constexpr int w = int(sizeof(T));
    QList<T> list;
    // Room for what the data can fill, taken at once; a count past it grows the list as it goes.
    list.reserve(qBound(0, count, data.size() / w + 1));
    for (int k = 0; k < count; ++k) {
        list.append(fromBits<T>(ByteOrder::beField(data, qint64(k) * w, w)));
    }
    return QVariant::fromValue(list);
}

bool bitAt(const QByteArray &data, qint64 byte, int bit)
{
    return (ByteOrder::beField(data, byte, 1) >> bit) & 1u;
}

// The first min(count, list length) elements, so that a short list is never read past its end.
template<typename T>
void encode(const CLabelVariable &value, int count, QByteArray *out)
{
    if (!out || !value.holds<T>())
        return;
    const QList<T> list = value.value.value<QList<T>>();
    const int n = qMin(count, list.size());
    for (int i = 0; i < n; ++i) {
        if constexpr (std::is_same_v<T, bool>) {
            out->append(char(list.at(i) ? 0x01 : 0x00));
        } else {
            ByteOrder::appendField(*out, toBits(list.at(i)), int(sizeof(T)));
        }
    }
}

// The consecutive bits from bit `startBit` of byte 0 up to bit 7 of byte byteLength - 1.
QVariant consecutiveBits(int startBit, const QByteArray &data, int byteLength)
{
    QList<bool> list;
    const qint64 end = qint64(byteLength) * 8;
    list.reserve(int(qBound<qint64>(0, end - qMax(startBit, 0), qint64(data.size()) * 8)));
    for (qint64 k = qMax(startBit, 0); k < end; ++k)
        list.append(bitAt(data, k / 8, int(k % 8)));
    return QVariant::fromValue(list);
}

} // namespace

QVariant ValueCodec::set_variant_bool(int startBit, QByteArray data, int count)
{
    QList<bool> list;
    // A count of 0 still takes byte 0 apart. A start bit below 0 names no bit below bit 0.
    const int bytes = count == 0 ? 1 : count;
    for (int i = 0; i < bytes; ++i) {
        for (int j = qMax(startBit, 0); j <= 7; ++j)
            list.append(bitAt(data, i, j));
    }
    return QVariant::fromValue(list);
}

QVariant ValueCodec::set_variant_Int8(QByteArray data, int count) { return decode<char>(data, count); }
QVariant ValueCodec::set_variant_UInt8(QByteArray data, int count) { return decode<unsigned char>(data, count); }
QVariant ValueCodec::set_variant_Int16(QByteArray data, int count) { return decode<short>(data, count); }
QVariant ValueCodec::set_variant_UInt16(QByteArray data, int count) { return decode<unsigned short>(data, count); }
QVariant ValueCodec::set_variant_Int32(QByteArray data, int count) { return decode<int>(data, count); }
QVariant ValueCodec::set_variant_UInt32(QByteArray data, int count) { return decode<unsigned int>(data, count); }
QVariant ValueCodec::set_variant_fload(QByteArray data, int count) { return decode<float>(data, count); }
QVariant ValueCodec::set_variant_Int64(QByteArray data, int count) { return decode<long long>(data, count); }
QVariant ValueCodec::set_variant_UInt64(QByteArray data, int count) { return decode<unsigned long long>(data, count); }
QVariant ValueCodec::set_variant_double(QByteArray data, int count) { return decode<double>(data, count); }

void ValueCodec::Wset_variant_bool(CLabelVariable value, int count, QByteArray *out) { encode<bool>(value, count, out); }
void ValueCodec::Wset_variant_Int8(CLabelVariable value, int count, QByteArray *out) { encode<char>(value, count, out); }
void ValueCodec::Wset_variant_UInt8(CLabelVariable value, int count, QByteArray *out) { encode<unsigned char>(value, count, out); }
void ValueCodec::Wset_variant_Int16(CLabelVariable value, int count, QByteArray *out) { encode<short>(value, count, out); }
void ValueCodec::Wset_variant_uInt16(CLabelVariable value, int count, QByteArray *out) { encode<unsigned short>(value, count, out); }
void ValueCodec::Wset_variant_Int32(CLabelVariable value, int count, QByteArray *out) { encode<int>(value, count, out); }
void ValueCodec::Wset_variant_UInt32(CLabelVariable value, int count, QByteArray *out) { encode<unsigned int>(value, count, out); }
void ValueCodec::Wset_variant_float(CLabelVariable value, int count, QByteArray *out) { encode<float>(value, count, out); }
void ValueCodec::Wset_variant_Int64(CLabelVariable value, int count, QByteArray *out) { encode<long long>(value, count, out); }
void ValueCodec::Wset_variant_UInt64(CLabelVariable value, int count, QByteArray *out) { encode<unsigned long long>(value, count, out); }
void ValueCodec::Wset_variant_double(CLabelVariable value, int count, QByteArray *out) { encode<double>(value, count, out); }

QVariant ValueCodec::decodeByType(int type, int startBit, const QByteArray &data, int byteLength)
{
    return withElementType(type, QVariant(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        if constexpr (std::is_same_v<T, bool>)
            return consecutiveBits(startBit, data, byteLength);
        else
            return decode<T>(data, byteLength / int(sizeof(T)));
    });
}

bool ValueCodec::encodeByType(int type, const CLabelVariable &value, int count, QByteArray *out)
{
    return withElementType(type, false, [&](auto tag) {
        encode<typename decltype(tag)::type>(value, count, out);
        return true;
    });
}

int ValueCodec::elementWidth(int type)
{
    return withElementType(type, 0, [](auto tag) { return int(sizeof(typename decltype(tag)::type)); });
}

int ValueCodec::heldElements(int type, const CLabelVariable &value)
{
    return withElementType(type, -1, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return value.holds<T>() ? value.value.value<QList<T>>().size() : -1;
    });
}
