#include "SerialLineMedium.h"

#include <QTimer>

#include <poll.h>

SerialLineMedium::SerialLineMedium()
    : serial(std::make_unique<QSerialPort>())
{
    // Direct: the reports reach the owner inside its waits, on this thread.
    QObject::connect(serial.get(), &QSerialPort::readyRead, serial.get(), [this] { report(Event::Bytes); },
                     Qt::DirectConnection);
    QObject::connect(serial.get(), &QSerialPort::errorOccurred, serial.get(),
                     [this](QSerialPort::SerialPortError error) { errorOccurred(error); }, Qt::DirectConnection);
}

SerialLineMedium::~SerialLineMedium()
{
    // The port's last signals, from its destructor, are for nobody.
    QObject::disconnect(serial.get(), nullptr, nullptr, nullptr);
}


bool SerialLineMedium::open(const QString &name, const SerialSettings::Line &line)
{
    serial->setBaudRate(line.baud, QSerialPort::AllDirections);
    serial->setDataBits(line.dataBits);
    serial->setStopBits(line.stopBits);
    serial->setParity(line.parity);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    serial->setPortName(name);
    return serial->open(QIODevice::ReadWrite);
}

void SerialLineMedium::errorOccurred(QSerialPort::SerialPortError error)
{
    // A hung-up line reads as end of file over and over, which Qt reports as a read error.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) || lost)
        return;
    lost = true;
    QTimer::singleShot(0, serial.get(), [this] {     // on the port's thread
        if (lost && serial->isOpen())
            serial->close();
    });
    report(Event::Ended);       // the line says nothing worth a warning line
}

bool SerialLineMedium::isUp() const
{
    return serial->isOpen() && !lost;
}

void SerialLineMedium::send(const QByteArray &frame)
{
    serial->write(frame);
    serial->flush();
}

PpiMedium::Outcome SerialLineMedium::receive(QByteArray &into, int waitMs)
{
    if (serial->bytesAvailable() > 0) {
        into.append(serial->readAll());
        return Outcome::Received;
    }
    // poll() rather than Qt's wait, whose time-out would stay behind as the port's error.
    pollfd ready{int(serial->handle()), POLLIN, 0};
    if (::poll(&ready, 1, qMax(0, waitMs)) <= 0 || !serial->waitForReadyRead(0))
        return Outcome::Nothing;
    // Its readyRead may have taken the bytes already, through this same function.
    if (serial->bytesAvailable() > 0)
        into.append(serial->readAll());
    return Outcome::Received;
}

bool SerialLineMedium::peerClosed() const
{
    if (!serial->isOpen())
        return false;
    // A line whose other end is gone (a pseudo-terminal's master closed) reports a hang-up.
    pollfd state{int(serial->handle()), 0, 0};
    return ::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR)) != 0;
}

void SerialLineMedium::close()
{
    if (serial->isOpen()) {
        serial->clear(QSerialPort::AllDirections);
        serial->close();
    }
    lost = false;
}

int SerialLineMedium::lineTimeMs(int bytes) const
{
    const qint64 baud = serial->baudRate();
    if (baud <= 0)
        return 0;
    const int bitsPerChar = 1 + int(serial->dataBits()) + (serial->parity() == QSerialPort::NoParity ? 0 : 1)
                            + (serial->stopBits() == QSerialPort::OneStop ? 1 : 2);
    return int((qint64(bytes) * bitsPerChar * 1000 + baud - 1) / baud);
}

qint64 SerialLineMedium::idleTimeNs() const
{
    // A port that knows no rate idles as long as the slowest line.
    const qint64 baud = serial->baudRate();
    return idleTimeNsAt(baud > 0 ? baud : GatewayIdleBaud);
}
