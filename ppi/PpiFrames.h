// PPI frames (PROFIBUS FDL) as this driver and its test station use them. Pure functions of bytes.
//
//   fixed length, no data:  0x10 DA SA FC FCS 0x16
//   variable length:        0x68 LE LE 0x68 DA SA FC data... FCS 0x16   (LE counts DA..last data byte)
//   short acknowledgement:  0xE5
//
// FCS is the sum modulo 256 of the bytes from DA up to the byte before the FCS. The S7 job or
// answer of a variable frame starts at offset 7.
#ifndef PPIFRAMES_H
#define PPIFRAMES_H

#include <QByteArray>
#include <QtGlobal>

namespace PpiFrames {

constexpr quint8 FixedStart = 0x10;
constexpr quint8 VariableStart = 0x68;
constexpr quint8 ShortAck = 0xE5;
constexpr quint8 EndDelimiter = 0x16;

constexpr quint8 FcFdlStatus = 0x49;    // request FDL status: the greeting
constexpr quint8 FcPoll = 0x5C;         // request the answer to an acknowledged job
constexpr quint8 FcReadJob = 0x6C;      // send and request data, read job
constexpr quint8 FcWriteJob = 0x7C;     // send and request data, write job
constexpr quint8 FcResponse = 0x08;     // data response, used by the test station

constexpr int FixedLength = 6;
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

// Sum modulo 256 of `count` bytes of `bytes` from `from`; positions beyond the end count 0.
quint8 checksum(const QByteArray &bytes, int from, int count);

QByteArray fixedFrame(int da, int sa, int fc);
QByteArray greeting(int station);
QByteArray poll(int station, int ownAddress);
// Wraps `data` (an S7 PDU) into a variable frame; empty when LE would exceed one byte.
QByteArray variableFrame(int da, int sa, int fc, const QByteArray &data);

// Empty when the job's fields or the frame cannot carry the request as given. `reference` goes
// into the S7 header; a station echoes it in its answer.
QByteArray readRequest(int station, int ownAddress, int area, int dbNumber, int byteAddress, int length,
                       quint16 reference = 0);
QByteArray writeRequest(int station, int ownAddress, int area, int dbNumber, int bitAddress,
                        bool bitItem, const QByteArray &data, quint16 reference = 0);
// The line bytes of the answer frame to a read of `length` bytes, and to a write.
constexpr int readAnswerLength(int length) { return VariableOverhead + 18 + length; }
constexpr int WriteAnswerLength = VariableOverhead + 15;

// How many bytes the frame at the front of `buffer` still needs: 0 when it is complete,
// > 0 while bytes are missing, -1 when the front of `buffer` cannot start a frame.
int missingBytes(const QByteArray &buffer);
// The length of the complete frame at the front of `buffer`; 0 while it is incomplete or when
// the front cannot start a frame.
int frameLength(const QByteArray &buffer);
// How many bytes at the front of `buffer` cannot start a frame (a glitch as an RS-485 line turns
// round, the tail of a frame cut short): a receiver skips them.
int junkAtFront(const QByteArray &buffer);

enum class Kind { Invalid, Ack, Fixed, Variable };

struct Frame {
    Kind kind = Kind::Invalid;
    int da = 0;
    int sa = 0;
    int fc = 0;
    QByteArray data;    // the data bytes of a variable frame (the S7 PDU)
    int length = 0;     // bytes the frame occupies at the front of the buffer
};

// Takes apart the complete frame at the front of `buffer`, checking the repeated LE, the second
// start delimiter, the FCS and the end delimiter. Kind::Invalid when any of these is wrong or
// the frame is incomplete: a corrupted byte must never become a value.
Frame parse(const QByteArray &buffer);

// The first reply to a job lets the master poll for the answer: the short acknowledgement, or a
// six-byte reply whose fifth byte is 0x04.
bool letsMasterPoll(const QByteArray &reply);

// What a complete frame means to the exchange that sent job `reference` to `station`.
enum class Reply {
    Ack,        // the short acknowledgement
    Answer,     // a well-formed frame of the station to this master carrying the job's reference
    Foreign,    // a well-formed frame that is not for this exchange: another master or station,
                // or an S7 answer with another reference (a late answer to an earlier job)
    Other       // anything else: a broken frame, a fixed frame of the station (judged as it is)
};
Reply classify(const QByteArray &frame, int station, int ownAddress, quint16 reference);

// Judges the answer frame to a read of `length` bytes from `station`: 0 with the data appended
// to *out, -1 when it is not a well-formed answer of that station carrying exactly those bytes.
int judgeReadAnswer(const QByteArray &reply, int station, int ownAddress, int length, QByteArray *out);
// Judges the answer frame to a write: 0 when the station confirmed it, -1 otherwise.
int judgeWriteAnswer(const QByteArray &reply, int station, int ownAddress);

} // namespace PpiFrames

#endif // PPIFRAMES_H
