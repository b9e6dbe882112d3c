// The date and time types as a person reads them, from and to the bytes a PLC keeps:
//   DATE_AND_TIME  8 bytes BCD: year (90-99 19xx, 00-89 20xx), month, day, hour, minute, second,
//                  ms hundreds and tens, ms units in the high nibble and the weekday (1 = Sunday)
//                  in the low one                       2026-12-09T23:04:05.123
//   DTL            12 bytes: year (u16), month, day, weekday (1 = Sunday), hour, minute, second,
//                  nanoseconds (u32), big-endian         2026-12-09T23:04:05.123456789
//   DATE           u16 days since 1990-01-01             2026-12-09
//   TIME_OF_DAY    u32 ms since midnight                 23:04:05.123
//   TIME           i32 ms                                T#1h2m3s4ms, T#-5s, T#0ms
//   S5TIME         time base in bits 13-12, three BCD digits   S5T#12s500ms
// Reads judge what the PLC holds (a BCD digit above 9, month 13: no value) but not the weekday,
// which some clients leave out; writes compute it. Pure functions.
#ifndef TIMETEXT_H
#define TIMETEXT_H

#include <QByteArray>
#include <QString>

#include "TextAddress.h"

namespace TimeText {

// The text of one element; false when the bytes hold no value of the type (or are too few).
bool decode(TextAddress::Layout layout, const QByteArray &bytes, QString *text);
// The bytes of one element; false when the text does not parse, names no such time, lies outside
// the type's range or is finer than the type holds (nothing is rounded away).
bool encode(TextAddress::Layout layout, const QString &text, QByteArray *bytes);

// A duration in ms as an IEC literal after `prefix` (T#, S5T#): d h m s ms, zero parts left out.
QString durationText(const char *prefix, qint64 ms);
// The ms of an IEC literal with `prefix` (units in any case) or of an ISO-8601 duration.
bool parseDuration(const char *prefix, const QString &text, qint64 *ms);

} // namespace TimeText

#endif // TIMETEXT_H
