// The address forms of text and time tags, read with DataType String: the S7 type, then the byte
// address, then the declared length where it matters.
//   DB5.STRING20, DB5.STRING20[30]    S7 STRING[n]: max n, current length L, L characters
//   DB5.WSTRING20[30]                 S7 WSTRING[n]: max and L as big-endian words, UTF-16BE
//   DB5.CHAR20[10], DB5.WCHAR20[10]   ARRAY[1..n] OF CHAR / WCHAR (n required)
//   VSTRING100[20]                    S7-200 string: one length byte L, then L bytes
//   DB5.DT20 DTL20 DATE20 TOD20 TIME20 S5TIME20   the date and time types
// A V in place of "DBn." names V memory (data block 1). V forms, and every form of a driver whose
// PLCs keep S7-200 strings, take the S7-200 string layout for STRING. Letters in any case.
// Pure functions.
#ifndef TEXTADDRESS_H
#define TEXTADDRESS_H

#include <QString>
#include <QtGlobal>

namespace TextAddress {

enum class Layout {
    None,           // not a text or time form: the address is today's notation, or nothing
    String, WString, Char, WChar, String200,
    DateAndTime, Dtl, Date, TimeOfDay, Time, S5Time
};

struct Address {
    Layout layout = Layout::None;
    bool malformed = false;     // a text form, but a length no such type has
    int area = 0;               // AddressGrammar::DataBlock
    int dbNumber = 0;
    qint64 byteAddress = 0;
    int declared = -1;          // the [n] of the text; -1 when it gives none
};

// strings200: the driver's PLCs keep S7-200 strings wherever a STRING is named.
Address parse(const QString &text, bool strings200);

// Bytes of one element of `layout` with declared length n (characters; bytes for String200).
qint64 elementBytes(Layout layout, int n);
// Distance from one element of an array to the next: STRING elements start at even offsets.
qint64 stride(Layout layout, int n);
// Bytes a header read fetches to learn a STRING's or WSTRING's max (and an S7-200 string's
// length); 0 for the layouts without a header.
int headerBytes(Layout layout);
// Whether a layout's elements depend on a declared length at all.
bool hasLength(Layout layout);

} // namespace TextAddress

#endif // TEXTADDRESS_H
