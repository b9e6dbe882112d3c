// One element of a text or time tag, from and to the bytes a PLC keeps (layouts in TextAddress.h
// and TimeText.h). STRING, CHAR and S7-200 strings go through the connection's code page;
// WSTRING and WCHAR are UTF-16BE whatever it is. Pure functions.
#ifndef TEXTCODEC_H
#define TEXTCODEC_H

#include <QByteArray>
#include <QString>

#include "TextAddress.h"

class QTextCodec;

namespace TextCodec {

// The text of one element read as `bytes` (the whole element, as wide as its layout with
// declared length n); false when the PLC holds no value of the type: a current length above the
// max, the declared length or the bytes read, an invalid time.
bool decode(TextAddress::Layout layout, int n, const QByteArray &bytes, const QTextCodec *codePage, QString *text);

// The bytes a write of `text` into one element with max length n carries, and the offset in the
// element they start at: STRING from its length byte (the PLC's max byte stays as it is), WSTRING
// from its length word, the others from the element's first byte. A result code: 0, 2 (a
// character the code page or UTF-16 cannot hold, a time text that does not parse or lies outside
// the type's range) or 4 (longer than the max). Nothing is ever cut short.
int encode(TextAddress::Layout layout, int n, const QString &text, const QTextCodec *codePage, QByteArray *bytes,
           int *offset);

} // namespace TextCodec

#endif // TEXTCODEC_H
