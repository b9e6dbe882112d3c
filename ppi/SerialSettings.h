// The serial line settings of a connection text's fields, read as a person means them.
// A pure function: the transport applies what it returns.
#ifndef SERIALSETTINGS_H
#define SERIALSETTINGS_H

#include <QSerialPort>
#include <QString>

namespace SerialSettings {

struct Line {
    qint32 baud = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::Parity parity = QSerialPort::NoParity;
};

// Baud rates 1200 to 115200 and PPI's own 187500; 5 to 8 data bits; stop bits 1, 2 or 3 (one and
// a half); parity N, E, O or none, even, odd in any case (no text: none). Returns the name of the
// first field that names nothing known ("baud", "databits", "stopbits", "parity"), or nullptr
// with *line filled in.
const char *read(int baud, int dataBits, int stopBits, const QString &parity, Line *line);

} // namespace SerialSettings

#endif // SERIALSETTINGS_H
