// ISO-on-TCP framing of S7 communication (RFC 1006 TPKT carrying ISO 8073 class 0 COTP units).
// Pure functions of bytes: the transport and the simulator only move what these build and judge.
//
// TPKT header (4 bytes): 0 version 0x03 | 1 reserved 0x00 | 2-3 total length, big-endian,
//   header included.
// COTP data unit (3 bytes) in front of every S7 PDU or piece of one: 0 length indicator 0x02 |
//   1 0xF0 data transfer | 2 bit 7 end of TSDU (the unit that ends an S7 PDU), bits 0-6 number 0.
// So the S7 PDU (or its piece) starts at offset 7 of a data frame.
// Connection confirm: 4 length indicator | 5 0xD0 | 6-7 destination reference | 8-9 source
//   reference | 10 class | 11... parameters (code, length, value) up to offset 4 + length
//   indicator; parameter 0xC0 (length 1) is the TPDU size granted: 2 to the power of its value.
#ifndef ISOTCPFRAMES_H
#define ISOTCPFRAMES_H

#include <QByteArray>
#include <QtGlobal>

#include "S7Pdu.h"

namespace IsoTcp {

constexpr int TpktHeaderLength = 4;
constexpr int DataHeaderLength = 7;           // TPKT + COTP data unit header
// The connection request asks for TPDUs of 1024 bytes, so no answer of a PLC is longer.
constexpr int MaxFrameLength = TpktHeaderLength + 1024;
// The largest frame the 16-bit length field can describe (what a server must be ready for).
constexpr int MaxTpktLength = 0xFFFF;

constexpr int CotpConnectionRequest = 0xE0;
constexpr int CotpConnectionConfirm = 0xD0;
constexpr int CotpDisconnectRequest = 0x80;
constexpr int CotpData = 0xF0;
constexpr int EndOfTsdu = 0x80;
// A TPDU is the COTP unit without its TPKT header: the connection request asks for 1024 bytes,
// and a confirm that names no size grants 128 (ISO 8073).
constexpr int AskedTpduSize = 1024;
constexpr int DefaultTpduSize = 128;
// One S7 PDU spans at most this many bytes of the stream, whatever empty units pad it.
constexpr int MaxTsduSpan = MaxTpktLength;

// Framer for a byte stream: the total length of the TPKT at the front of `buffer`.
constexpr int NeedMore = 0;      // fewer than 4 bytes: the length is not known yet
constexpr int Broken = -1;       // not a TPKT, or a length below 7 or above `maxLength`
int frameLength(const QByteArray &buffer, int maxLength = MaxFrameLength);

// The COTP unit type of a frame (byte 5), -1 when the frame is too short to carry one.
int cotpType(const QByteArray &frame);

// A data frame carrying `pdu`.
QByteArray wrapPdu(const QByteArray &pdu);
// The S7 PDU of a data frame; empty when the frame is not a COTP data unit.
QByteArray payload(const QByteArray &frame);

// The next S7 PDU of a stream: the data units of one TSDU joined, up to the one with the end bit.
// length: the bytes of the stream it spans (NeedMore, Broken, or more than 0);
// frame: one data frame carrying the whole PDU, or a unit that is no data unit as it came, or
// empty for an empty data unit ahead of a TSDU (a "fast acknowledge"), which is only to be
// taken off the stream. Empty units within a TSDU carry nothing and are passed over. Broken:
// a unit is no TPKT, the PDU grows past `maxPdu` bytes, or a unit that is no data unit comes
// in the middle of one.
struct Tsdu {
    int length = NeedMore;
    QByteArray frame;
};
Tsdu nextTsdu(const QByteArray &stream, int maxPdu);

// The TPDU size a connection confirm grants (DefaultTpduSize where it names none or no valid one).
int grantedTpduSize(const QByteArray &confirm);
// `frame` as it goes on the wire through TPDUs of `tpduSize` bytes: unchanged when it fits,
// otherwise its PDU in consecutive data units of at most that size, the end bit on the last.
QByteArray splitForTpdu(const QByteArray &frame, int tpduSize);

// The two requests that set up a connection.
constexpr quint16 DefaultLocalTsap = 0x1000;
constexpr quint16 DefaultRemoteTsap = 0x0300;
// COTP CR, TPDU size 1024, calling (own) TSAP `local`, called (PLC) TSAP `remote`.
QByteArray connectionRequest(quint16 local = DefaultLocalTsap, quint16 remote = DefaultRemoteTsap);
QByteArray setupRequest();            // S7 set-up communication job, PDU length 960
constexpr int SetupPduLength = 960;

// Judging the answers of the set-up.
bool isConnectionConfirm(const QByteArray &frame);
// A data frame carrying an S7 ack-data of the set-up function without an error.
bool isSetupAnswer(const QByteArray &frame);
// The PDU length that a set-up answer grants (PDU offsets 18-19, after function, reserved byte
// and both parallel job counts); 0 when the frame is no set-up answer or grants nothing usable:
// less than a job carrying one byte needs, or more than was asked for.
int grantedPduLength(const QByteArray &frame);

// The reference of two random numbers: the low 8 bits of each, first one high.
quint16 referenceFrom(int high, int low);

// Read and write jobs framed for the wire. Only the data-block area carries a data-block
// number; 0 or less there means V memory, which is data block 1.
// Empty when the job's fields cannot carry the request as given (see S7Pdu).
QByteArray readRequest(quint16 reference, int area, int dbNumber, int byteAddress, int byteCount);
QByteArray writeRequest(quint16 reference, int area, int dbNumber, int bitAddress,
                        S7Pdu::ItemSize size, const QByteArray &data);
int wireDbNumber(int area, int dbNumber);
// Timers and counters (see S7Pdu::elementReadJob); empty as the builders say.
QByteArray elementReadRequest(quint16 reference, int area, int first, int count);
QByteArray elementWriteRequest(quint16 reference, int area, int first, const QByteArray &words);

// Whether `frame` can be the answer to `request`. A job is answered only by a data unit carrying
// an S7 acknowledgement with the job's reference; anything else is another request's late answer
// or no answer at all. A connection request is answered by a unit that is no data unit.
bool answersRequest(const QByteArray &request, const QByteArray &frame);
// A data unit whose PDU begins as an S7 PDU does (protocol id, whole job header): a frame that is
// not is no part of this protocol's conversation.
bool carriesS7Pdu(const QByteArray &frame);

// Resynchronising a stream whose front is no frame: the first offset from `from` on where a
// plausible TPKT begins (version 3, reserved 0, a length the framer takes, a COTP header that
// fits it: a data unit, or a connection request, confirm, disconnect or error unit), or where the
// stream ends too soon to tell; the stream's size when there is none.
int nextFrameStart(const QByteArray &stream, int from);

// What the front of a stream cut off by the deadline leaves due: the rest of its last TPKT
// (midUnit), and further data units of its TSDU (tsduOpen: the last unit seen lacks the end bit).
struct Cut {
    bool midUnit = false;
    bool tsduOpen = false;
};
Cut cutAt(const QByteArray &stream);
// True when the front of a frame, complete or not, already shows the reference of `request`.
bool showsReferenceOf(const QByteArray &request, const QByteArray &front);

// A read answer is good when it is exactly 25 + byteCount bytes, its header reports no error and
// its item's return code is 0xFF; then the data is appended to *data.
bool judgeReadAnswer(const QByteArray &frame, int byteCount, QByteArray *data);
// A read answer of `count` timers or counters of `area`, judged as S7Pdu::judgeElementReadAck;
// on success 2 bytes per element are appended to *words.
S7Pdu::Verdict judgeElementReadAnswer(const QByteArray &frame, int area, int count, QByteArray *words);
// A write answer is good when it is 22 bytes, without header error, item return code 0xFF.
bool judgeWriteAnswer(const QByteArray &frame);

} // namespace IsoTcp

#endif // ISOTCPFRAMES_H
