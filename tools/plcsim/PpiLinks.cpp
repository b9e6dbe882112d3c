#include "PpiLinks.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "PtyLineSettings.h"

namespace PpiLinks {

Gateway::Gateway(Receiver receiver, QObject *parent)
    : QObject(parent), receive(std::move(receiver))
{
}

bool Gateway::listen(quint16 port)
{
    if (!server) {
        server = new QTcpServer(this);
        connect(server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server->nextPendingConnection()) {
                // Each piece of a split answer must leave as a segment of its own.
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QPointer<QTcpSocket> guard(socket);
                auto *link = new PpiStation::Link(socket, [guard](const QByteArray &bytes) {
                    if (guard) {
                        guard->write(bytes);
                        guard->flush();
                    }
                });
                link->gatewayClient = true;
                link->hangUp = [guard] {
                    if (guard)
                        guard->abort();
                };
                const auto reading = connect(socket, &QTcpSocket::readyRead, this, [this, socket, link] { receive(link, socket->readAll()); });
                link->stopReading = [guard, reading] {
                    QObject::disconnect(reading);
                    if (guard) {
                        // Qt stops reading once its buffer holds this much; the kernel's small
                        // buffer then fills and the window the driver sees closes.
                        guard->setReadBufferSize(1);
                        guard->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
                    }
                };
                ++connected;
                connect(socket, &QObject::destroyed, this, [this] { --connected; });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    return server->listen(QHostAddress::LocalHost, port);
}

void Gateway::writeAll(const QByteArray &bytes)
{
    // The server is the parent of every client socket it handed out.
    for (QTcpSocket *socket : server->findChildren<QTcpSocket *>()) {
        if (socket->state() == QAbstractSocket::ConnectedState) {
            socket->write(bytes);
            socket->flush();
        }
    }
}

quint16 Gateway::port() const
{
    return server ? server->serverPort() : 0;
}

Pty::Pty(Receiver receiver, QObject *parent)
    : QObject(parent), receive(std::move(receiver))
{
}

Pty::~Pty()
{
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
    if (!linkPath.isEmpty())
        QFile::remove(linkPath);
}

bool Pty::open(const QString &path)
{
    if (master >= 0)
        return false;
    char device[128] = {};
    if (::openpty(&master, &slave, device, nullptr, nullptr) != 0)
        return false;
    // The slave stays open here so that the master never sees a hang-up while no driver has
    // the line open; raw mode, so the line discipline neither echoes nor edits frames.
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    name = QString::fromLocal8Bit(device);
    if (!path.isEmpty()) {
        // Replace a stale link of an earlier run, never a file of someone else's.
        if (QFileInfo(path).isSymLink())
            QFile::remove(path);
        if (::symlink(device, QFile::encodeName(path).constData()) != 0)
            return false;
        linkPath = path;
    }
    const int fd = master;
    link = new PpiStation::Link(this, [fd](const QByteArray &bytes) {
        qint64 done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                break;      // the pty buffer holds far more than one frame; never block the station
            done += n;
        }
    });
    notifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &Pty::read);
    link->hangUp = [this] {
        // Unplugged, then plugged in again: the same path leads to a new device.
        const QString again = linkPath;
        close();
        open(again);
    };
    link->stopReading = [this] {
        if (notifier)
            notifier->setEnabled(false);
    };
    return true;
}

void Pty::close()
{
    delete notifier;
    notifier = nullptr;
    delete link;
    link = nullptr;
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
    master = slave = -1;
    if (!linkPath.isEmpty())
        QFile::remove(linkPath);
    linkPath.clear();
}

bool Pty::lineSettings(LineSettings *settings) const
{
    return readLineSettings(slave, settings);
}

void Pty::read()
{
    char buf[512];
    while (master >= 0 && link) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) {
            receive(link, QByteArray(buf, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;      // EAGAIN: all read; EIO cannot happen while the slave is held open
    }
}

} // namespace PpiLinks
