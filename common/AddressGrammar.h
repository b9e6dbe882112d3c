// The PLC address notation shared by both drivers: I0.3, Q1, M10.7, V100, DB5.DBW20,
// DB5.DBX20.3, DB100, V_or_DB5.20.3 (letters in either case).
//
// parse() is what the read and write paths go by: it accepts only the notation's forms and takes
// every number from the part of the text that names it, so an accepted text means one place.
// The four single-number parsers keep the facades' historic operations (getArea, getAddr, ...):
// they never fail and return numbers even for texts outside the notation.
#ifndef ADDRESSGRAMMAR_H
#define ADDRESSGRAMMAR_H

#include <QString>
#include <QtGlobal>

namespace AddressGrammar {

// The S7 protocol's memory area codes; they go on the wire unchanged.
enum Area { None = 0, Input = 0x81, Output = 0x82, Flag = 0x83, DataBlock = 0x84 };

int area(const QString &address);
// vIsDataBlock1: the PPI rule, a plain V address is data block 1 (S7: 0).
int dbNumber(const QString &address, bool vIsDataBlock1);
int byteAddress(const QString &address);   // -1 when no area keyword is present
int bitNumber(const QString &address);
// Bits are packed eight to a byte; 0 for a type outside 1..11. Computed in 64 bits.
qint64 byteLength(int dataType, qint64 count);

enum class Form {
    WellFormed,     // one of the notation's forms: the numbers of Address stand
    NoArea,         // no area keyword at all
    Malformed       // an area keyword, but outside the notation, or a data block no PLC has
};

// Numbers too long to matter are held at this value: far past every area, never wrapped.
constexpr qint64 HugeNumber = Q_INT64_C(1000000000000);

struct Address {
    Form form = Form::NoArea;
    int area = None;
    int dbNumber = 0;           // data areas: 1..65535 (V memory is data block 1); 0 elsewhere
    qint64 byteAddress = -1;    // negative only for a text such as M-5
    int bitNumber = 0;          // 0..7; 0 when the text names no bit
    bool hasBit = false;        // the text carries a ".b" bit part
};

// A size letter after the area letter (MW10, VB100, IX0.3, QD4) is read as the plain form (M10,
// V100, I0.3, Q4): the element size comes from the DataType. Numbers are plain ASCII digits.
Address parse(const QString &address);

} // namespace AddressGrammar

#endif // ADDRESSGRAMMAR_H
