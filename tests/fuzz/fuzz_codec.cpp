// The value codec: PLC bytes to element lists and back, for every DataType, with counts from the
// host's edges. Invariants: decoding n elements and encoding them again gives back the same
// bytes (floating-point elements keep their bit patterns); an element is its bytes read most
// significant first; a count past the data reads zeros, never foreign memory; an encoder never
// writes more elements than the list holds nor anything for a list of another type; the bits of
// a Bool read are the bits of the bytes, from the start bit on. Text and time elements: any bytes
// with any declared length are decoded without reading past them, and a time that decodes encodes
// back to its bytes (the weekday aside, which writes compute; S5TIME: to the same time).
#include <QByteArray>
#include <QList>

#include <cstring>

#include "CDriveBaseClass.h"
#include "CLabelVariable.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "TextCodec.h"
#include "TextRequests.h"
#include "ValueCodec.h"

namespace {

const int Width[] = {0, 1, 1, 1, 2, 2, 4, 4, 4, 8, 8, 8};

// Element k of `bytes` as an unsigned big-endian number; missing bytes are zeros.
quint64 expectedBits(const QByteArray &bytes, int w, int k)
{
    quint64 v = 0;
    for (int j = 0; j < w; ++j) {
        const int at = k * w + j;
        v = (v << 8) | (at < bytes.size() ? quint8(bytes.at(at)) : 0u);
    }
    return v;
}

template<typename T>
quint64 bitsOf(const T &element)
{
    quint64 v = 0;
    if constexpr (sizeof(T) == 1) { quint8 r; std::memcpy(&r, &element, 1); v = r; }
    else if constexpr (sizeof(T) == 2) { quint16 r; std::memcpy(&r, &element, 2); v = r; }
    else if constexpr (sizeof(T) == 4) { quint32 r; std::memcpy(&r, &element, 4); v = r; }
    else { std::memcpy(&v, &element, 8); }
    return v;
}

template<typename T>
void roundTrip(int type, const QByteArray &bytes, int count)
{
    const int w = Width[type];
    const QVariant decoded = ValueCodec::decodeByType(type, 0, bytes, count * w);
    FUZZ_CHECK(decoded.userType() == qMetaTypeId<QList<T>>(), "decoded into another list type");
    const QList<T> list = decoded.value<QList<T>>();
    FUZZ_CHECK(list.size() == count, "decoded another number of elements");
    for (int k = 0; k < list.size(); ++k)
        FUZZ_CHECK(bitsOf(list.at(k)) == expectedBits(bytes, w, k), "an element is not its bytes, most significant first");

    CLabelVariable value;
    value.value = decoded;
    QByteArray encoded("x");
    FUZZ_CHECK(ValueCodec::encodeByType(type, value, count, &encoded), "a known type refused");
    QByteArray padded = bytes.left(count * w);
    padded.append(QByteArray(count * w - padded.size(), '\0'));
    FUZZ_CHECK(encoded == "x" + padded, "encoding did not give the bytes back");

    // More elements asked for than the list holds: only those it holds.
    QByteArray more;
    ValueCodec::encodeByType(type, value, count + 5, &more);
    FUZZ_CHECK(more == padded, "an encoder wrote elements the list does not hold");
    // A list of another type: nothing.
    CLabelVariable other;
    other.value = type == Int16 ? QVariant::fromValue(QList<int>{1, 2}) : QVariant::fromValue(QList<short>{1, 2});
    QByteArray none;
    ValueCodec::encodeByType(type, other, 2, &none);
    FUZZ_CHECK(none.isEmpty(), "an encoder wrote a list of another type");
}

void bools(const QByteArray &bytes, int startBit, int byteLength)
{
    const QVariant decoded = ValueCodec::decodeByType(Bool, startBit, bytes, byteLength);
    const QList<bool> bits = decoded.value<QList<bool>>();
    const int first = qMax(startBit, 0);
    FUZZ_CHECK(bits.size() == qMax(0, byteLength * 8 - first), "a Bool read of another number of bits");
    for (int k = 0; k < bits.size(); ++k) {
        const int bit = first + k;
        const int byte = bit / 8;
        const bool expected = byte < bytes.size() && ((quint8(bytes.at(byte)) >> (bit % 8)) & 1);
        FUZZ_CHECK(bits.at(k) == expected, "a Bool element is not its bit");
    }
    CLabelVariable value;
    value.value = decoded;
    QByteArray encoded;
    ValueCodec::encodeByType(Bool, value, bits.size(), &encoded);
    FUZZ_CHECK(encoded.size() == bits.size(), "a Bool is not encoded as one byte");
    for (int k = 0; k < bits.size(); ++k)
        FUZZ_CHECK(quint8(encoded.at(k)) == (bits.at(k) ? 1 : 0), "a Bool is not encoded as 0x00 or 0x01");
}

void texts(const QByteArray &bytes, int n)
{
    using L = TextAddress::Layout;
    for (L layout : {L::String, L::WString, L::Char, L::WChar, L::String200, L::DateAndTime, L::Dtl, L::Date,
                     L::TimeOfDay, L::Time, L::S5Time}) {
        QString text;
        if (!TextCodec::decode(layout, n, bytes, TextRequests::defaultCodePage(), &text) || TextAddress::hasLength(layout))
            continue;
        QByteArray again;
        int offset = -1;
        FUZZ_CHECK(TextCodec::encode(layout, n, text, TextRequests::defaultCodePage(), &again, &offset) == 0,
                   "a time read does not write back");
        QByteArray stored = bytes.left(again.size());
        if (layout == L::DateAndTime)
            stored[7] = char((quint8(stored.at(7)) & 0xF0) | (quint8(again.at(7)) & 0x0F));
        if (layout == L::Dtl)
            stored[4] = again.at(4);
        // An S5TIME is written in the finest base that holds it: the same time, maybe other bytes.
        QString reread;
        FUZZ_CHECK(offset == 0 && (layout == L::S5Time || again == stored)
                       && TextCodec::decode(layout, n, again, TextRequests::defaultCodePage(), &reread) && reread == text,
                   "a time read writes back another time");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzInput in(input, size);
    const int type = in.range(1, 11);
    const int count = in.range(0, 40);
    const int startBit = in.range(-2, 9);
    const int hostCount = in.hostNumber();
    const QByteArray bytes = in.rest();
    registerLabelVariableTypes();

    switch (type) {
    case Bool: bools(bytes, startBit, qMin(count, 40)); break;
    case Int8: roundTrip<char>(type, bytes, count); break;
    case UInt8: roundTrip<unsigned char>(type, bytes, count); break;
    case Int16: roundTrip<short>(type, bytes, count); break;
    case UInt16: roundTrip<unsigned short>(type, bytes, count); break;
    case Int32: roundTrip<int>(type, bytes, count); break;
    case UInt32: roundTrip<unsigned int>(type, bytes, count); break;
    case Float: roundTrip<float>(type, bytes, count); break;
    case Int64: roundTrip<long long>(type, bytes, count); break;
    case UInt64: roundTrip<unsigned long long>(type, bytes, count); break;
    case Double: roundTrip<double>(type, bytes, count); break;
    default: break;
    }

    texts(bytes, count);

    // The decoders take any count: a count of 0 or less gives no elements.
    if (hostCount <= 0) {
        FUZZ_CHECK(ValueCodec::set_variant_Int32(bytes, hostCount).value<QList<int>>().isEmpty(),
                   "a count of 0 or less decoded elements");
        FUZZ_CHECK(ValueCodec::set_variant_bool(0, bytes, hostCount).value<QList<bool>>().size() == (hostCount == 0 ? 8 : 0),
                   "a Bool count of 0 takes byte 0 apart, a negative one nothing");
    }
    return 0;
}
