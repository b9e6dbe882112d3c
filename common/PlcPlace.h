// The place one request or job addresses in a PLC's memory, as one value from the facade's
// checks down to the frame builders.
#ifndef PLCPLACE_H
#define PLCPLACE_H

#include <QString>
#include <QtGlobal>

#include <limits>

struct PlcPlace {
    int area = 0;           // the area code (AddressGrammar::Area); it goes on the wire unchanged
    int dbNumber = 0;       // data areas only; 0 elsewhere
    int byteAddress = 0;
    int bitNumber = 0;      // the bit a bit item writes or a Bool read starts at; 0 for byte items
    QString text;           // the address as the host wrote it: for the trace lines only

    // The start address in bits of a write job; one past int's range is held at its limit, so
    // that the job builders see it is too large and refuse it.
    int bitAddress() const
    {
        const qint64 bits = qint64(byteAddress) * 8 + bitNumber;
        return int(qBound<qint64>(std::numeric_limits<int>::min(), bits, std::numeric_limits<int>::max()));
    }

    // The place of a start address in bits; bitAddress() gives the same number back (negative
    // ones too: division and remainder both round toward 0).
    static PlcPlace atBit(int area, int dbNumber, int bitAddress, const QString &text)
    {
        return PlcPlace{area, dbNumber, bitAddress / 8, bitAddress % 8, text};
    }
};

#endif // PLCPLACE_H
