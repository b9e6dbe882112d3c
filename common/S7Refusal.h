// What a PLC said when it refused a job: the error class and code of an acknowledgement's
// header (offsets 10 and 11 of the PDU), or the return code of its item (offset 14: 0xFF is
// success). The warning of a refused answer names it, so that whoever commissions the link
// reads the reason instead of decoding the frame by hand.
#ifndef S7REFUSAL_H
#define S7REFUSAL_H

#include <QByteArray>
#include <QString>

namespace S7Refusal {

struct Reason {
    int errorClass = 0;     // header error class and code; 0 and 0 when the header is fine
    int errorCode = 0;
    int itemCode = -1;      // the item's return code when it is not 0xFF; -1 otherwise
    bool known() const { return errorClass != 0 || errorCode != 0 || itemCode >= 0; }
};

// The reason in the acknowledgement `pdu` (an S7 PDU, without TPKT or COTP); nothing known for a
// PDU that is no acknowledgement or says nothing wrong.
Reason of(const QByteArray &pdu);

// " [PLC 0x81/0x04: meaning]" or " [PLC 0x0A: meaning]", in the warnings' own language; empty
// when nothing is known.
QString warningSuffix(const Reason &reason);
// The reason read back from a warning line (what warningSuffix wrote), for a host tool.
Reason fromWarning(const QString &line);
// "PLC: 0x0A object does not exist", for a person reading a result line.
QString describe(const Reason &reason);

} // namespace S7Refusal

#endif // S7REFUSAL_H
