// S7 communication jobs with one item, as both drivers carry them (S7 inside ISO-on-TCP,
// PPI inside a variable-length PPI frame). Building and judging are pure functions of bytes.
//
// Job request header (10 bytes), offsets within the PDU:
//   0 0x32 protocol id | 1 0x01 job | 2-3 reserved | 4-5 PDU reference | 6-7 parameter length |
//   8-9 data length
// Acknowledge-data header (12 bytes): as above with 1 = 0x03, then 10 error class, 11 error code.
#ifndef S7PDU_H
#define S7PDU_H

#include <QByteArray>
#include <QtGlobal>

namespace S7Pdu {

constexpr int JobHeaderLength = 10;
constexpr int AckHeaderLength = 12;
constexpr int ReadJobLength = 24;        // header + parameter (function, item count, 12-byte item)
constexpr int WriteJobOverhead = 28;     // header + parameter + data item header (4)
// Answer to a read job: ack header, parameter (2), item header (4), then the data bytes.
constexpr int ReadAckOverhead = AckHeaderLength + 2 + 4;
constexpr int WriteAckLength = AckHeaderLength + 2 + 1;
// The smallest PDU in which a read and a write job can each carry one data byte.
constexpr int MinimumPduLength = WriteJobOverhead + 1;

// The data bytes one job can carry within a PDU of `pduLength` bytes: a read is bounded by its
// answer, a write by its request; both by their 16-bit count fields (a write's counts bits).
// 0 when the PDU is too small for any data.
int readCapacity(int pduLength);
int writeCapacity(int pduLength);

enum class ItemSize { Bit = 0x01, Byte = 0x02 };

// What an item's fields can carry: the start address in bits has 24 bits, the element count
// and the data-block number 16, a write's data length (in bits for byte items) 16.
constexpr qint64 MaxBitAddress = 0xFFFFFF;
constexpr int MaxItemCount = 0xFFFF;
constexpr int MaxDbNumber = 0xFFFF;
constexpr int MaxWriteItemBytes = 0xFFFF / 8;

// The builders return an empty job for anything the fields cannot carry as given: a job that
// names another place than the one asked for is never built.

// Read `byteCount` bytes from byte address `byteAddress` of `area` (data block `dbNumber`).
// The analog areas (0x06, 0x07) count words: their items carry transport size 0x04 and the
// number of words, so byteCount must be even, and so must the byte address of a write.
QByteArray readJob(quint16 reference, int area, int dbNumber, int byteAddress, int byteCount);

// Write `data` at `bitAddress` (byte address * 8 + bit). Byte items carry data.size() bytes with
// the data length in bits and start at bit 0 of a byte; a bit item carries exactly one bit
// (data holds one byte 0x00/0x01).
QByteArray writeJob(quint16 reference, int area, int dbNumber, int bitAddress, ItemSize size,
                    const QByteArray &data);

// Timers and counters (areas 0x1C to 0x1F): the item's transport size is the area code, its
// count the number of elements and its address the first element's number (not a bit address).
// A write carries 2 bytes per element as an octet string (data transport size 0x09).
QByteArray elementReadJob(quint16 reference, int area, int first, int count);
QByteArray elementWriteJob(quint16 reference, int area, int first, const QByteArray &words);
// The bytes of one element in an answer: 2 for the S7-300/400 codes; 2, 3 or 5 for the S7-200
// family (sources disagree), whose value is the record's last two bytes.
bool isElementRecordSize(int area, int size);
constexpr int MaxElementRecord = 5;

// The PDU reference of a job or an acknowledgement (0 when the PDU is too short).
quint16 reference(const QByteArray &pdu);

// An acknowledgement header (protocol id 0x32, message type 0x02 ack or 0x03 ack-data, all 12
// bytes there): the only PDU that can answer a job, with its data or with an error.
bool isAcknowledgement(const QByteArray &pdu);

enum class Verdict {
    Ok,             // the answer is good; for reads *data holds exactly the requested bytes
    NotAnAnswer,    // not an acknowledgement of a job (too short, wrong protocol id or type)
    HeaderError,    // the acknowledgement reports an error class or code
    ItemError,      // the item's return code is not 0xFF (a PLC error item)
    WrongLength     // the item's length disagrees with what was asked for
};

// Judges the acknowledgement of a read job for `byteCount` bytes; on Ok appends the data to *data.
Verdict judgeReadAck(const QByteArray &pdu, int byteCount, QByteArray *data);
// Judges the acknowledgement of a read of `count` timers or counters of `area`: the record size
// is the item's byte count divided by `count`. On Ok appends 2 bytes per element to *words.
Verdict judgeElementReadAck(const QByteArray &pdu, int area, int count, QByteArray *words);
// Judges the acknowledgement of a write job.
Verdict judgeWriteAck(const QByteArray &pdu);

} // namespace S7Pdu

#endif // S7PDU_H
