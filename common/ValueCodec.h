// Conversion between PLC data bytes (big-endian, bits numbered 0..7 from the least significant)
// and the element lists held in CLabelVariable::value. Pure functions; both facades inherit them
// so that they are the facades' own members.
#ifndef VALUECODEC_H
#define VALUECODEC_H

#include <QByteArray>
#include <QVariant>

#include "CDriveBaseClass.h"
#include "CLabelVariable.h"

class ValueCodec
{
public:
    // Decoders: `count` elements from `data`; bytes beyond the end of `data` read as 0x00.
    static QVariant set_variant_bool(int startBit, QByteArray data, int count);  // count = bytes to take apart
    static QVariant set_variant_Int8(QByteArray data, int count);
    static QVariant set_variant_UInt8(QByteArray data, int count);
    static QVariant set_variant_Int16(QByteArray data, int count);
    static QVariant set_variant_UInt16(QByteArray data, int count);
    static QVariant set_variant_Int32(QByteArray data, int count);
    static QVariant set_variant_UInt32(QByteArray data, int count);
    static QVariant set_variant_fload(QByteArray data, int count);
    static QVariant set_variant_Int64(QByteArray data, int count);
    static QVariant set_variant_UInt64(QByteArray data, int count);
    static QVariant set_variant_double(QByteArray data, int count);

    // Encoders: append the first `count` elements of value.value to *out, most significant byte
    // first. Nothing is appended when the value holds another list type or none; never more
    // elements than the list holds.
    static void Wset_variant_bool(CLabelVariable value, int count, QByteArray *out);  // one byte 0x00/0x01 per element
    static void Wset_variant_Int8(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_UInt8(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_Int16(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_uInt16(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_Int32(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_UInt32(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_float(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_Int64(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_UInt64(CLabelVariable value, int count, QByteArray *out);
    static void Wset_variant_double(CLabelVariable value, int count, QByteArray *out);

    // Dispatch by DataType for the read and write paths.
    // decodeByType: the element list for `byteLength` received bytes (Bool: taken apart from
    // `startBit`); an invalid QVariant for a type outside 1..11.
    static QVariant decodeByType(int type, int startBit, const QByteArray &data, int byteLength);
    // encodeByType: the encoder of `type` with `count` elements (Bool: one byte per element);
    // false for a type outside 1..11.
    static bool encodeByType(int type, const CLabelVariable &value, int count, QByteArray *out);
    // Element width in bytes of a DataType 2..11 (1 for Bool's encoded form); 0 otherwise.
    static int elementWidth(int type);
    // Number of elements of `type` held in `value` (-1 when value holds another list or none).
    static int heldElements(int type, const CLabelVariable &value);
};

#endif // VALUECODEC_H
