// Reading and writing the fields of PLC frames: every multi-byte field of TPKT, COTP, S7 and PPI
// is big-endian. The one place that knows the byte order; callers check the bounds first (a
// frame's length is judged before its fields are read), so these index without checks.
#ifndef BYTEORDER_H
#define BYTEORDER_H

#include <QByteArray>
#include <QtGlobal>

namespace ByteOrder {

// Byte `at` as 0..255, whatever the signedness of plain char on the target.
inline int u8(const QByteArray &b, int at) { return quint8(b.at(at)); }
inline int be16(const QByteArray &b, int at) { return (u8(b, at) << 8) | u8(b, at + 1); }
inline int be24(const QByteArray &b, int at) { return (be16(b, at) << 8) | u8(b, at + 2); }

// An unsigned field of `width` bytes (1..8) at `at`, as a value's elements are laid out; bytes
// past the end of `b` read as 0, so a short buffer is never read beyond.
inline quint64 beField(const QByteArray &b, qint64 at, int width)
{
    quint64 bits = 0;
    for (int j = 0; j < width; ++j) {
        const qint64 i = at + j;
        bits = (bits << 8) | (i >= 0 && i < b.size() ? quint8(b.at(int(i))) : 0u);
    }
    return bits;
}

// Writing into a buffer already of its final size: returns the position behind the field.
inline uchar *put16(uchar *at, int v)
{
    at[0] = uchar((v >> 8) & 0xFF);
    at[1] = uchar(v & 0xFF);
    return at + 2;
}

inline uchar *put24(uchar *at, int v)
{
    at[0] = uchar((v >> 16) & 0xFF);
    return put16(at + 1, v);
}

// Appending to a growing frame.
inline void append16(QByteArray &b, int v)
{
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
}

inline void append24(QByteArray &b, int v)
{
    b.append(char((v >> 16) & 0xFF));
    append16(b, v);
}

// Appends the low `width` bytes of `bits`, most significant first.
inline void appendField(QByteArray &b, quint64 bits, int width)
{
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        b.append(char((bits >> shift) & 0xFF));
}

// Overwriting a field of a frame already built.
inline void set16(QByteArray &b, int at, int v)
{
    b[at] = char((v >> 8) & 0xFF);
    b[at + 1] = char(v & 0xFF);
}

} // namespace ByteOrder

#endif // BYTEORDER_H
