// Element lists and PLC bytes, converted here on their own (big-endian, IEEE 754 bit patterns)
// rather than with the drivers' codec, so that the soak does not share the codec's mistakes.
#ifndef ELEMENTBYTES_H
#define ELEMENTBYTES_H

#include <QByteArray>
#include <QVariant>

namespace ElementBytes {

// Bytes per element of DataType 2..11; 0 for any other.
int width(int type);
// The element list of `type` that `bytes` (a whole number of elements) hold.
QVariant toElements(int type, const QByteArray &bytes);
// The bytes of the element list in `value`; false when it is not a list of `type` holding
// exactly `count` elements.
bool toBytes(int type, const QVariant &value, int count, QByteArray *bytes);

} // namespace ElementBytes

#endif // ELEMENTBYTES_H
