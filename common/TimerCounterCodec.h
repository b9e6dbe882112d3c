// Timer and counter values as a person reads them, from and to the 16-bit words PLCs keep.
//
// S7-300/400 timer: S5TIME, bits 13-12 the time base (10 ms, 100 ms, 1 s, 10 s), bits 11-0 three
// BCD digits. S7-300/400 counter: three BCD digits, 0-999. S7-200-family timer: a tick count whose
// tick length follows the timer number. S7-200-family counter: a signed 16-bit count.
// Pure functions.
#ifndef TIMERCOUNTERCODEC_H
#define TIMERCOUNTERCODEC_H

#include <QByteArray>
#include <QVariant>

#include "CLabelVariable.h"

// Which codes and layouts a PLC uses for timers and counters; Unknown until a PLC has answered.
enum class ElementFamily { Unknown, S7_300, S7_200 };

namespace TimerCounterCodec {

// Milliseconds of an S5TIME word; false when the word is none (a digit above 9, bits 15-14 set).
bool s5TimeToMs(quint16 word, qint64 *ms);
// The S5TIME word with the finest time base that holds `ms` exactly; false when no base does
// (negative, above 9990 s, or finer than the base that reaches it).
bool msToS5Time(qint64 ms, quint16 *word);
// The count of a BCD counter word; false for a word above 0x0999 or with a digit above 9.
bool bcdToCount(quint16 word, int *count);
bool countToBcd(qint64 count, quint16 *word);
// The tick length in ms of S7-200 timer `number`.
int tickMs200(int number);

// The element list of `type` (Int16, UInt16, Int32, UInt32) for `words` (2 bytes per element,
// big-endian, as the PLC keeps them) of the timers or counters numbered from `first`. Timers as
// 32-bit types are milliseconds, as 16-bit types the PLC's own word; counters are the count
// (UInt16 of an S7-200 counter: the raw word). Invalid when a word holds no valid value.
QVariant decode(int area, ElementFamily family, int first, int type, const QByteArray &words);
// The words a write of `count` elements of `value` carries to an S7-300/400 PLC; false when an
// element cannot be encoded (or the value lacks elements).
bool encode300(int area, int type, const CLabelVariable &value, int count, QByteArray *words);

} // namespace TimerCounterCodec

#endif // TIMERCOUNTERCODEC_H
