// The checks both facades make before a read or a write goes to the PLC, and the place the
// request then addresses. Where the two drivers differ, the difference is a field of Rules.
//
// Everything a host supplies (byte address, count) is judged in 64 bits, so no number a host
// sends can wrap into a small one; a request that passes fits the fields of the jobs it is
// split into.
#ifndef REQUESTCHECK_H
#define REQUESTCHECK_H

#include <QString>
#include <QtGlobal>

#include "AddressGrammar.h"
#include "CLabelVariable.h"
#include "PlcPlace.h"

namespace RequestCheck {

struct Rules {
    int noAreaCode;         // result for a text without area keyword
    int minReadCount;       // fewest elements a read may ask for
    int minWriteCount;      // fewest elements a write may carry
    qint64 readAddressEnd;  // byte address + count (in elements) may not pass this
    qint64 writeAddressEnd;
    qint64 maxReadBytes;    // bytes one call can carry, in as many jobs as it takes
    qint64 maxWriteBytes;
    bool strings200 = false;    // the PLCs keep S7-200 strings wherever a STRING is named
};

struct Verdict {
    int code = 0;           // 0: go ahead; otherwise the result code, and nothing is sent
    // Where a request that passed goes (its text is the caller's to fill in). Types 2..11
    // address whole bytes: a bit part in the text (M10.3 as Int16) is dropped, so reads and
    // writes meet the same byte.
    PlcPlace target;
};

// Bytes a read of `count` elements fetches: a Bool read takes every byte from the start bit's
// to the last bit's.
qint64 readByteLength(int type, int bitNumber, qint64 count);
// Bytes a write of `count` elements carries: a Bool write carries one bit in one byte.
qint64 writeByteLength(int type, qint64 count);
// Start address in bits of a write: Bool names one bit, every other type starts at bit 0 of
// its byte (no PLC serves a byte item with a bit part).
qint64 startBitAddress(int type, qint64 byteAddress, int bitNumber);
// A 64-bit length or address for an int parameter: held at the int's limits instead of
// wrapping, so the job builders see it is too large and refuse it.
int saturated(qint64 n);

Verdict read(const AddressGrammar::Address &address, int type, int count, const Rules &rules);
// Also refuses a value that cannot supply what the write would carry: 2 for no list of the
// type (or a type outside 1..11), 4 for fewer elements than the count.
Verdict write(const AddressGrammar::Address &address, int type, int count, const CLabelVariable &value,
              const Rules &rules);

} // namespace RequestCheck

#endif // REQUESTCHECK_H
