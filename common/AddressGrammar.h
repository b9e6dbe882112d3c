// The PLC address notation shared by both drivers: I0.3, Q1, M10.7, V100, DB5.DBW20,
// DB5.DBX20.3, DB100, V_or_DB5.20.3 (letters in either case).
// The four parsers never fail: they return numbers that the read and write paths judge.
#ifndef ADDRESSGRAMMAR_H
#define ADDRESSGRAMMAR_H

#include <QString>

namespace AddressGrammar {

// The S7 protocol's memory area codes; they go on the wire unchanged.
enum Area { None = 0, Input = 0x81, Output = 0x82, Flag = 0x83, DataBlock = 0x84 };

int area(const QString &address);
// vIsDataBlock1: the PPI rule, a plain V address is data block 1 (S7: 0).
int dbNumber(const QString &address, bool vIsDataBlock1);
int byteAddress(const QString &address);   // -1 when no area keyword is present
int bitNumber(const QString &address);
int byteLength(int dataType, int count);   // bits are packed eight to a byte; 0 for a type outside 1..11

enum class Form {
    WellFormed,     // one of the grammar's forms: the parsers' results stand
    NoArea,         // no area keyword at all: judged by the paths as the parsers say
    Malformed       // an area keyword, but outside the grammar: refused, never sent
};
// Classifies the text. A text with a size letter after the area letter (MW10, VB100, IX0.3,
// QD4) is rewritten into *canonical as the plain form (M10, V100, I0.3, Q4), which then
// classifies as WellFormed; *canonical is the text itself otherwise.
Form classify(const QString &address, QString *canonical);

} // namespace AddressGrammar

#endif // ADDRESSGRAMMAR_H
