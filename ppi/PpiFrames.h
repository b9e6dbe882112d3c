// PPI frames (PROFIBUS FDL) as this driver and its test station use them. Pure functions of bytes.
//
//   SC  short acknowledgement:  0xE5
//   SD1 fixed length, no data:  0x10 DA SA FC FCS 0x16
//   SD2 variable length:        0x68 LE LE 0x68 DA SA FC data... FCS 0x16   (LE counts DA..last data byte)
//   SD3 fixed length, 8 data:   0xA2 DA SA FC D1..D8 FCS 0x16
//   SD4 token:                  0xDC DA SA                                 (no FCS, no end delimiter)
//
// FCS is the sum modulo 256 of the bytes from DA up to the byte before the FCS. The S7 job or
// answer of a variable frame starts at offset 7. A token's addresses are station addresses
// (0..127): that is all a token without a check sum can be judged by. This driver sends and
// takes SC, SD1 and SD2; on a shared line every kind passes by, and each must be taken whole so
// that its bytes are never read as the start of another frame.
#ifndef PPIFRAMES_H
#define PPIFRAMES_H

#include <QByteArray>
#include <QtGlobal>

namespace PpiFrames {

constexpr quint8 FixedStart = 0x10;
constexpr quint8 VariableStart = 0x68;
constexpr quint8 FixedDataStart = 0xA2;
constexpr quint8 TokenStart = 0xDC;
constexpr quint8 ShortAck = 0xE5;
constexpr quint8 EndDelimiter = 0x16;

constexpr quint8 FcFdlStatus = 0x49;    // request FDL status: the greeting
constexpr quint8 FcPoll = 0x5C;         // request the answer to an acknowledged job
constexpr quint8 FcReadJob = 0x6C;      // send and request data, read job
constexpr quint8 FcWriteJob = 0x7C;     // send and request data, write job
constexpr quint8 FcResponse = 0x08;     // data response, used by the test station

constexpr int FixedLength = 6;
constexpr int FixedDataLength = 14;
constexpr int TokenLength = 3;
constexpr int MaxStationAddress = 127;
constexpr int VariableOverhead = 9;     // 68 LE LE 68 DA SA FC ... FCS 16 around the data
constexpr int PduOffset = 7;
constexpr int MaxLe = 255;
// A reply longer than the longest frame is not a reply this driver can use.
constexpr int MaxFrameLength = MaxLe + 6;

// LE = 3 + PDU length must fit one byte: write job 28 + n, read answer 18 + n bytes of PDU.
constexpr int MaxWriteBytes = MaxLe - 3 - 28;   // 224
constexpr int MaxReadBytes = MaxLe - 3 - 18;    // 234
// PPI stations take S7 PDUs of at most 240 bytes, whatever LE could describe: larger reads and
// writes go out as several jobs that fit it.
constexpr int JobPduLength = 240;

// The addresses a PLC station may have on a PPI line: 0 is the usual master's, 127 the
// broadcast; above it the FDL address-extension bit.
constexpr int LowestStation = 1;
constexpr int HighestStation = 126;
constexpr bool isStationAddress(int address) { return address >= LowestStation && address <= HighestStation; }

// Sum modulo 256 of `count` bytes of `bytes` from `from`; positions beyond the end count 0.
quint8 checksum(const QByteArray &bytes, int from, int count);

QByteArray fixedFrame(int da, int sa, int fc);
QByteArray greeting(int station, int ownAddress = 0);
QByteArray poll(int station, int ownAddress);
// Wraps `data` (an S7 PDU) into a variable frame; empty when LE would exceed one byte.
QByteArray variableFrame(int da, int sa, int fc, const QByteArray &data);

// Empty when the job's fields or the frame cannot carry the request as given. `reference` goes
// into the S7 header; a station echoes it in its answer.
QByteArray readRequest(int station, int ownAddress, int area, int dbNumber, int byteAddress, int length,
                       quint16 reference = 0);
QByteArray writeRequest(int station, int ownAddress, int area, int dbNumber, int bitAddress,
                        bool bitItem, const QByteArray &data, quint16 reference = 0);
// A read of `count` timers or counters of `area` (S7Pdu::elementReadJob).
QByteArray elementReadRequest(int station, int ownAddress, int area, int first, int count, quint16 reference = 0);
// The line bytes of the answer frame to a read of `length` bytes, and to a write.
constexpr int readAnswerLength(int length) { return VariableOverhead + 18 + length; }
constexpr int WriteAnswerLength = VariableOverhead + 15;

// How many bytes the frame at the front of `buffer` still needs: 0 when it is whole and valid
// (length, check sum, end delimiter as its kind says), > 0 while bytes are missing and those
// there are still fit its kind, -1 when the front of `buffer` cannot start a frame or starts one
// that has failed.
int missingBytes(const QByteArray &buffer);

// One step of scanning a byte stream from `from`: `skip` bytes cannot start a frame (a failed
// candidate costs one byte: the scan goes on at the next, so a frame right behind a broken one
// is found); then either a whole, valid frame of `length` bytes, or (length 0) a candidate that
// still needs `missing` bytes (0: the bytes ran out).
struct Scan {
    int skip = 0;
    int length = 0;
    int missing = 0;
};
Scan scan(const QByteArray &buffer, int from = 0);
// The length of the complete frame at the front of `buffer`; 0 while it is incomplete or when
// the front cannot start a frame.
int frameLength(const QByteArray &buffer);
// How many bytes at the front of `buffer` cannot start a frame (a glitch as an RS-485 line turns
// round, the tail of a frame cut short): a receiver skips them.
int junkAtFront(const QByteArray &buffer);

enum class Kind { Invalid, Ack, Fixed, Variable, FixedData, Token };

struct Frame {
    Kind kind = Kind::Invalid;
    int da = 0;
    int sa = 0;
    int fc = 0;
    QByteArray data;    // the data bytes of a variable frame (the S7 PDU) or of an SD3 frame
    int length = 0;     // bytes the frame occupies at the front of the buffer
};

// Takes apart the complete frame at the front of `buffer`, checking the repeated LE, the second
// start delimiter, the FCS and the end delimiter. Kind::Invalid when any of these is wrong or
// the frame is incomplete: a corrupted byte must never become a value.
Frame parse(const QByteArray &buffer);

// The short acknowledgement alone: one byte 0xE5.
bool isShortAck(const QByteArray &frame);
// The reply to a greeting of `station` says it is there: a well-formed fixed or variable frame
// from that station (a corrupted byte is no greeting, an E5 says nothing of who sent it).
bool greetingAnswered(const QByteArray &reply, int station);

// The first reply to a job lets the master poll for the answer: the short acknowledgement, or a
// six-byte reply whose fifth byte is 0x04.
bool letsMasterPoll(const QByteArray &reply);

// What a complete frame means to the exchange that sent job `reference` to `station`.
enum class Reply {
    Ack,        // the short acknowledgement
    Answer,     // a well-formed frame of the station to this master carrying the job's reference
    Foreign,    // a well-formed frame that is not for this exchange: a token, another master or
                // station, our own frame coming back (an echo: it is addressed to the station),
                // or an S7 answer with another reference (a late answer to an earlier job)
    Other       // anything else: a broken frame, a fixed frame of the station (judged as it is)
};
Reply classify(const QByteArray &frame, int station, int ownAddress, quint16 reference);
// What a complete frame means to the greeting: a frame to this master (or a short
// acknowledgement) is judged as the reply (Other); every other frame, the greeting's own echo
// included, is Foreign.
Reply classifyGreetingReply(const QByteArray &frame, int ownAddress);
// A request of another master that a short acknowledgement can answer: an SD1, SD2 or SD3 frame
// of a send-data or send-and-request-data service (not an FDL status request, which is never
// answered with E5), addressed elsewhere than to us. An E5 right behind it may be its answer.
bool mayOwnShortAck(const QByteArray &frame, int ownAddress);

// Judges the answer frame to a read of `length` bytes from `station`: 0 with the data appended
// to *out, -1 when it is not a well-formed answer of that station carrying exactly those bytes.
int judgeReadAnswer(const QByteArray &reply, int station, int ownAddress, int length, QByteArray *out);
// Judges the answer frame to a write: 0 when the station confirmed it, -1 otherwise.
int judgeWriteAnswer(const QByteArray &reply, int station, int ownAddress);
// 0 with 2 bytes per element appended to *words (S7Pdu::judgeElementReadAck), or -1.
int judgeElementReadAnswer(const QByteArray &reply, int station, int ownAddress, int area, int count,
                           QByteArray *words);

} // namespace PpiFrames

#endif // PPIFRAMES_H
