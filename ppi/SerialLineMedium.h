// The serial line to the station through one of the host's serial ports (a built-in port, a
// USB adapter): the line's rate and character frame set how long frames take and how long the
// line must be idle before we speak.
#ifndef SERIALLINEMEDIUM_H
#define SERIALLINEMEDIUM_H

#include <QSerialPort>

#include <memory>

#include "PpiMedium.h"
#include "SerialSettings.h"

class SerialLineMedium final : public PpiMedium
{
public:
    // The port is made on the calling thread and lives there, as the gateway's socket.
    SerialLineMedium();
    ~SerialLineMedium() override;

    // Sets the line up and opens the port; false when it did not open.
    bool open(const QString &name, const SerialSettings::Line &line);

    QString name() const override { return serial->portName(); }
    bool isUp() const override;
    void send(const QByteArray &frame) override;
    Outcome receive(QByteArray &into, int waitMs) override;
    bool peerClosed() const override;
    void close() override;
    // A serial line has no order to keep: it is closed at once.
    void leave(int) override { close(); }
    int lineTimeMs(int bytes) const override;
    qint64 idleTimeNs() const override;

private:
    // When `error` means the device went away (an adapter unplugged, the line hung up), the first
    // time it says so: the link is down at once and its end reported; the port is closed soon
    // after, outside the port's own notification.
    void errorOccurred(QSerialPort::SerialPortError error);

    const std::unique_ptr<QSerialPort> serial;
    bool lost = false;
};

#endif // SERIALLINEMEDIUM_H
