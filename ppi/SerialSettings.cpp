#include "SerialSettings.h"

namespace SerialSettings {

const char *read(int baud, int dataBits, int stopBits, const QString &parity, Line *line)
{
    switch (baud) {
    case 1200: case 2400: case 4800: case 9600: case 19200: case 38400: case 57600: case 115200:
    case 187500:
        line->baud = baud;
        break;
    default:
        return "baud";
    }
    if (dataBits < 5 || dataBits > 8)
        return "databits";
    line->dataBits = QSerialPort::DataBits(dataBits);
    switch (stopBits) {
    case 1: line->stopBits = QSerialPort::OneStop; break;
    case 2: line->stopBits = QSerialPort::TwoStop; break;
    case 3: line->stopBits = QSerialPort::OneAndHalfStop; break;
    default: return "stopbits";
    }
    const QString p = parity.trimmed().toLower();
    if (p.isEmpty() || p == QLatin1String("n") || p == QLatin1String("none"))
        line->parity = QSerialPort::NoParity;
    else if (p == QLatin1String("e") || p == QLatin1String("even"))
        line->parity = QSerialPort::EvenParity;
    else if (p == QLatin1String("o") || p == QLatin1String("odd"))
        line->parity = QSerialPort::OddParity;
    else
        return "parity";
    return nullptr;
}

} // namespace SerialSettings
