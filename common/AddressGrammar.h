// The PLC address notation shared by both drivers: I0.3, Q1, M10.7, V100, DB5.DBW20,
// DB5.DBX20.3, DB100, V_or_DB5.20.3; special memory SMB28, SM0.5; analog words AIW0 (AEW0) and
// AQW0 (AAW0); timers T37; counters C5 (Z5); the periphery PIW256 (PEW256), PQB0 (PAB0)
// (letters in either case).
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

// The S7 protocol's memory area codes; they go on the wire unchanged. Timers and counters carry
// the S7-300/400 codes here; a transport that talks to an S7-200-family PLC sends
// Timer200/Counter200 in their place.
enum Area {
    None = 0,
    SpecialMemory = 0x05, AnalogInput = 0x06, AnalogOutput = 0x07,
    Counter = 0x1C, Timer = 0x1D, Counter200 = 0x1E, Timer200 = 0x1F,
    Periphery = 0x80,
    Input = 0x81, Output = 0x82, Flag = 0x83, DataBlock = 0x84
};

// Areas whose addresses count words with a byte address (AIW0, AIW2, ...).
inline bool isAnalog(int area) { return area == AnalogInput || area == AnalogOutput; }
// Areas of numbered elements (T37, C5): the address is the element's number, never a byte.
inline bool isTimerOrCounter(int area)
{
    return area == Timer || area == Counter || area == Timer200 || area == Counter200;
}
inline bool isTimer(int area) { return area == Timer || area == Timer200; }

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
    // The periphery's two directions share one area code: reads reach the input modules, writes
    // the output modules. True for PQ/PA, which can be written but not read back.
    bool peripheralOutput = false;
};

// A size letter after the area letter (MW10, VB100, IX0.3, QD4) is read as the plain form (M10,
// V100, I0.3, Q4): the element size comes from the DataType, and so for SM and the periphery
// (SMW22, PIW256). Analog words need the W (AIW0); timers and counters take a number alone (T37,
// C5), which is their element number. Numbers are plain ASCII digits.
Address parse(const QString &address);

} // namespace AddressGrammar

#endif // ADDRESSGRAMMAR_H
