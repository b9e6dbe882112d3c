// How the simulated PLC answers one S7 PDU: set-up, read-variable and write-variable jobs
// against PlcMemory. Pure apart from the memory; the connection frames and sends the answer.
#ifndef S7JOBS_H
#define S7JOBS_H

#include <QByteArray>

class PlcMemory;

namespace S7Jobs {

// Item return codes of an answer.
constexpr int ItemOk = 0xFF;
constexpr int ItemAccessDenied = 0x03;
constexpr int ItemAddressOutOfRange = 0x05;
constexpr int ItemTypeNotSupported = 0x06;
constexpr int ItemTypeInconsistent = 0x07;
constexpr int ItemObjectMissing = 0x0A;

struct Job {
    bool valid = false;     // a job request (0x32 0x01) with a read or write item
    int function = 0;       // 0x04 read, 0x05 write, 0xF0 set-up, other
    quint16 reference = 0;
    int area = 0;
    int dbNumber = 0;
};

// What the job is about, for deciding whether a fault applies.
Job inspect(const QByteArray &pdu);

// The PLC family the answerer plays: which timer and counter codes it takes (the other family's
// are refused, the S7-300/400's by an S7-200 with 0x03 as a real one does), how many bytes an
// S7-200 timer or counter record has (3 or 5), and whether it has the periphery (0x80).
// Special memory and analog words are served by both: the S7-300/400 here is lenient.
struct Family {
    bool s7_200 = false;
    int recordBytes = 5;
    static Family s7_300() { return Family(); }
    static Family s7_200Records(int bytes) { return Family{true, bytes}; }
};
// Timer WrongRecordTimer answers with records of 4 bytes, a size no PLC sends (both families).
constexpr int WrongRecordTimer = 4000;
// Special memory bytes 0 to 29 are read-only, as on most S7-200: a write there gets 0x03, as
// does a write to the analog inputs.
constexpr int ReadOnlySpecialBytes = 30;

// Whether the station answers the set-up job; a PPI station takes none and refuses it as any
// other function it does not serve (error class 0x81, code 0x04).
enum class Setup { Answered, Refused };

// The answer PDU to `pdu`; empty when the PDU is no job request (a PLC ignores it). A job or an
// answer larger than `pduSize` gets error class 0x85 ("PDU size"). With `refusedItem` other than
// ItemOk the item of a read or write job is refused with that code whatever the memory holds,
// and nothing is read or written (a station's fault on purpose, or a data block it lacks).
QByteArray answer(PlcMemory *memory, const QByteArray &pdu, int pduSize, Setup setup = Setup::Answered,
                  int refusedItem = ItemOk, const Family &family = Family());

// Whether the read or write job `pdu` touches byte `byteAddress` of its area.
bool holdsByte(const QByteArray &pdu, int byteAddress);

// The answer to the read or write job `pdu` with its item refused with return code `code`;
// empty when the PDU is no read or write job.
QByteArray errorItemAnswer(const QByteArray &pdu, int code);

// An ack-data header that reports an error, with neither parameters nor data.
QByteArray errorAck(quint16 reference, int errorClass, int errorCode);

// The same PDU with another reference.
QByteArray withReference(const QByteArray &pdu, quint16 reference);

} // namespace S7Jobs

#endif // S7JOBS_H
