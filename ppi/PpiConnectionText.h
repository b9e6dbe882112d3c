// The fields a PPI connection text may carry behind its serial or gateway part, as comma-separated
// key=value fields:
//   master=N (1-126)    the address this driver object speaks as; 0 when left out
// A line with several masters (hosts, or device entries of one host) needs one address per driver
// object, or each takes the others' answers. Keys in any case, each at most once.
#ifndef PPICONNECTIONTEXT_H
#define PPICONNECTIONTEXT_H

#include <QString>

namespace PpiConnectionText {

struct Parsed {
    bool valid = false;
    QString link;           // the text in front of the fields: serial form or address:port
    int master = 0;
    // When a field is refused: the field as written (key and value), for the warning line.
    QString refusedKey;
    QString refusedValue;
};

// Splits the key=value fields off the end of `text` and reads them.
Parsed parse(const QString &text);

} // namespace PpiConnectionText

#endif // PPICONNECTIONTEXT_H
