// ISO-on-TCP framing of S7 communication (RFC 1006 TPKT carrying ISO 8073 class 0 COTP units).
// Pure functions of bytes: the transport and the simulator only move what these build and judge.
//
// TPKT header (4 bytes): 0 version 0x03 | 1 reserved 0x00 | 2-3 total length, big-endian,
//   header included.
// COTP data unit (3 bytes) in front of every S7 PDU: 0 length indicator 0x02 | 1 0xF0 data
//   transfer | 2 0x80 last unit, number 0.
// So an S7 PDU starts at offset 7 of a data frame.
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

// The two constant requests that set up a connection.
QByteArray connectionRequest();       // COTP CR, TPDU size 1024, TSAPs 0x1000 / 0x0300
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

// True unless `frame` is an S7 PDU whose reference differs from that of `request`: such a frame
// answers an earlier request and must not be taken for this one's answer.
bool answersRequest(const QByteArray &request, const QByteArray &frame);
// True when the front of a frame, complete or not, already shows the reference of `request`.
bool showsReferenceOf(const QByteArray &request, const QByteArray &front);

// A read answer is good when it is exactly 25 + byteCount bytes, its header reports no error and
// its item's return code is 0xFF; then the data is appended to *data.
bool judgeReadAnswer(const QByteArray &frame, int byteCount, QByteArray *data);
// A write answer is good when it is 22 bytes, without header error, item return code 0xFF.
bool judgeWriteAnswer(const QByteArray &frame);

} // namespace IsoTcp

#endif // ISOTCPFRAMES_H
