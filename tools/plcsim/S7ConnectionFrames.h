// The simulator's own ISO-on-TCP framing: taking whole TPKTs off a client's byte stream and
// building the frames of the connection (confirm, disconnect request, data). Pure functions of
// bytes. The simulator frames on its own rather than with the driver's framer, so the two check
// each other.
//
// COTP connection request as it arrives (offsets in the TPKT):
//   0-3 TPKT | 4 LI (bytes after itself up to the end of the COTP header) | 5 0xE0 |
//   6-7 destination reference | 8-9 source reference | 10 class | 11.. parameters (code, length,
//   value), as many as LI counts
#ifndef S7CONNECTIONFRAMES_H
#define S7CONNECTIONFRAMES_H

#include <QByteArray>

namespace S7ConnectionFrames {

constexpr int TpktHeader = 4;
constexpr int CotpDataHeader = 3;
constexpr int MinimumTpkt = TpktHeader + 3;
constexpr int RequestParametersAt = 11;
// LI is one byte and 255 is reserved: a COTP header holds at most 254 bytes after LI.
constexpr int MaxLengthIndicator = 254;

enum class Take { Frame, NeedMore, Broken };
// Takes the TPKT at the front of *buffer into *frame. Broken: the front is not a TPKT (wrong
// version byte, or a length that cannot hold a COTP header); the stream has lost its framing.
Take takeFrame(QByteArray *buffer, QByteArray *frame);

QByteArray tpkt(const QByteArray &cotp);
QByteArray dataFrame(const QByteArray &pdu);
QByteArray disconnectRequest();

// The confirm to a connection request: our reference 0x0001, the caller's echoed, and the
// caller's parameters accepted as they came, as far as the request's LI counts them, whole ones
// only, and no more than the confirm's own LI can count.
// With `tpduSize` (128 to 8192) the confirm grants that TPDU size instead of the one asked for.
QByteArray connectionConfirm(const QByteArray &request, int tpduSize = 0);

// The value of parameter `code` of a connection request (two bytes read big-endian, one byte as
// it is), or -1 where the request carries none.
int requestParameter(const QByteArray &request, int code);

// A data unit: the end-of-TSDU bit set on the unit that ends an S7 PDU.
QByteArray dataUnit(const QByteArray &piece, bool last);
// `pdu` carried in data units of at most `tpduSize` bytes (COTP header included), as a PLC
// that confirmed that size must send it.
QByteArray dataUnits(const QByteArray &pdu, int tpduSize);
// The empty data unit some PLCs send ahead of an answer (a "fast acknowledge").
QByteArray fastAcknowledge();
// Whether a data frame ends its TSDU (the end-of-TSDU bit of the COTP header).
bool endsTsdu(const QByteArray &frame);

} // namespace S7ConnectionFrames

#endif // S7CONNECTIONFRAMES_H
