// The connection text of the S7 driver: "IP:port", optionally followed by comma-separated
// key=value fields that choose the TSAPs of the connection request, for the PLCs that do not
// take the default pair:
//   rack=R (0-7), slot=S (0-31), type=pg|op|basic    remote TSAP type*256 + R*32 + S
//   local-tsap=HHHH, remote-tsap=HHHH                 taken as given (four hex digits)
// Keys in any case and order, each at most once; the two forms do not mix. What is left out keeps
// the defaults (local 0x1000, remote 0x0300: basic, rack 0, slot 0).
#ifndef S7CONNECTIONTEXT_H
#define S7CONNECTIONTEXT_H

#include <QString>

#include "IsoTcpFrames.h"

namespace S7ConnectionText {

using IsoTcp::DefaultLocalTsap;
using IsoTcp::DefaultRemoteTsap;

struct Parsed {
    bool valid = false;
    QString ip;
    int port = 0;
    quint16 localTsap = DefaultLocalTsap;
    quint16 remoteTsap = DefaultRemoteTsap;
    // When a field is refused: the field as written (key and value), for the warning line.
    bool fieldRefused = false;
    QString refusedKey;
    QString refusedValue;
};

// Parses the whole text. `valid` is false for a port outside 1..65535, an empty address, or a
// refused field (then refusedKey/refusedValue name it).
Parsed parse(const QString &text);

} // namespace S7ConnectionText

#endif // S7CONNECTIONTEXT_H
