#include "CmdSiemens_S7.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <cstdlib>

#include "IsoTcpFrames.h"

namespace {

const char *const ReadCommandLine = "lib[Siemens_S7]读命令 %1:%2 Area=%3  len = %4 msg : %5";
const char *const WriteCommandLine = "lib[Siemens_S7]写命令 %1:%2 Area=%3  len = %4 msg : %5";
const char *const ResponseLine = "lib[Siemens_S7]响应 %1:%2 Area=%3  len = %4 msg : %5";
const char *const EmptyAnswerLine = "lib[Siemens_S7]返回的报文长度为0 %1:%2 Area=%3  len = %4 msg : %5";
const char *const WrongAnswerLine = "lib[Siemens_S7]报文返回长度错误 %1:%2 Area=%3  len = %4 msg : %5";

} // namespace

CmdSiemens_S7::CmdSiemens_S7() = default;

CmdSiemens_S7::~CmdSiemens_S7()
{
    if (tcpSocket)
        DestroyFree();
}

int CmdSiemens_S7::ConnectDrive(QString ip, int port)
{
    if (!tcpSocket) {
        tcpSocket = new QTcpSocket(this);
        connect(tcpSocket, &QTcpSocket::connected, this, &CmdSiemens_S7::myconnected);
        connect(tcpSocket, &QTcpSocket::disconnected, this, &CmdSiemens_S7::mydisconnected);
        connect(tcpSocket, &QTcpSocket::readyRead, this, &CmdSiemens_S7::myreadyRead);
    }
    this->port = port;
    if (!hostAddr.setAddress(ip))
        return -1;
    tcpSocket->abort();
    recvBuf.clear();
    tcpSocket->connectToHost(hostAddr, quint16(port), QIODevice::ReadWrite);
    tcpSocket->waitForConnected(ConnectTimeoutMs);
    const auto state = tcpSocket->state();
    if (state != QAbstractSocket::ConnectingState && state != QAbstractSocket::ConnectedState)
        return -3;
    if (First_handshake() != 0) {
        DisConnectDrive();
        return -2;
    }
    if (Second_handshake() != 0) {
        DisConnectDrive();
        return -2;
    }
    return 0;
}

int CmdSiemens_S7::DisConnectDrive()
{
    if (!tcpSocket)
        return 1;
    tcpSocket->close();
    tcpSocket->disconnectFromHost();
    if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
        tcpSocket->waitForDisconnected(DrainTimeoutMs);
    return 0;
}

int CmdSiemens_S7::Connection_status()
{
    if (tcpSocket && tcpSocket->state() == QAbstractSocket::ConnectedState)
        return 0;
    return -3;
}

// Sends one request and waits, within one answer time-out, until a whole TPKT that answers it
// has arrived. Bytes left from earlier exchanges are dropped first, and a frame carrying another
// request's reference is dropped when it comes, so a late answer is never taken for this one.
int CmdSiemens_S7::SendData(QByteArray request, QByteArray &reply, int expected)
{
    if (!tcpSocket)
        return -1;
    recvBuf.clear();
    tcpSocket->readAll();

    tcpSocket->write(request);
    tcpSocket->flush();
    tcpSocket->waitForBytesWritten(DrainTimeoutMs);
    if (expected <= 0) {
        tcpSocket->waitForReadyRead(AnswerTimeoutMs);
        return -1;
    }

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int length = IsoTcp::frameLength(recvBuf);
        if (length == IsoTcp::Broken) {
            reply.append(recvBuf.left(IsoTcp::MaxFrameLength));
            recvBuf.clear();
            return -1;
        }
        if (length != IsoTcp::NeedMore && recvBuf.size() >= length) {
            const QByteArray frame = recvBuf.left(length);
            recvBuf.remove(0, length);
            if (IsoTcp::answersRequest(request, frame)) {
                reply.append(frame);
                return 0;
            }
            continue;
        }
        const qint64 remaining = AnswerTimeoutMs - clock.elapsed();
        if (remaining <= 0 || tcpSocket->state() != QAbstractSocket::ConnectedState)
            break;
        tcpSocket->waitForReadyRead(int(remaining));
    }
    // A frame that never completed is a broken answer, not a missing one.
    if (recvBuf.isEmpty())
        return -1;
    reply.append(recvBuf);
    recvBuf.clear();
    return -1;
}

int CmdSiemens_S7::First_handshake()
{
    const QByteArray request = IsoTcp::connectionRequest();
    if (Connection_status() == -3)
        return -3;
    QByteArray answer;
    if (SendData(request, answer, 50) == 0 && IsoTcp::isConnectionConfirm(answer))
        return 0;
    qWarning().noquote()
        << QStringLiteral("lib[Siemens_S7]第一次握手失败 %1:%2 ").arg(hostAddr.toString()).arg(port);
    return 1;
}

int CmdSiemens_S7::Second_handshake()
{
    const QByteArray request = IsoTcp::setupRequest();
    if (Connection_status() == -3)
        return -3;
    QByteArray answer;
    grantedPdu = 0;
    if (SendData(request, answer, 50) == 0)
        grantedPdu = IsoTcp::grantedPduLength(answer);
    if (grantedPdu > 0)
        return 0;
    qWarning().noquote()
        << QStringLiteral("lib[Siemens_S7]第二次握手失败 %1:%2 ").arg(hostAddr.toString()).arg(port);
    return 1;
}

int CmdSiemens_S7::deletetcpSocket()
{
    if (tcpSocket) {
        disconnect(tcpSocket, nullptr, this, nullptr);
        delete tcpSocket;
        tcpSocket = nullptr;
    }
    return 0;
}

int CmdSiemens_S7::DestroyFree()
{
    if (!tcpSocket)
        return 1;
    if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
        DisConnectDrive();
    deletetcpSocket();
    return 0;
}

void CmdSiemens_S7::myconnected()
{
}

void CmdSiemens_S7::mydisconnected()
{
    qWarning().noquote()
        << QStringLiteral("lib[Siemens_S7]%1:%2 Disconnected=").arg(hostAddr.toString()).arg(port)
        << tcpSocket->error();
}

void CmdSiemens_S7::myreadyRead()
{
    while (tcpSocket->bytesAvailable() > 0)
        recvBuf.append(tcpSocket->readAll());
    if (recvBuf.size() > ReceiveBufferLimit)
        recvBuf.clear();
}

quint16 CmdSiemens_S7::nextReference()
{
    const int high = std::rand();
    const int low = std::rand();
    return IsoTcp::referenceFrom(high, low);
}

QString CmdSiemens_S7::logLine(const QString &pattern, const QString &name, int length,
                               const QByteArray &bytes) const
{
    return pattern.arg(hostAddr.toString())
        .arg(port)
        .arg(name)
        .arg(length)
        .arg(QString::fromLatin1(bytes.toHex()));
}

int CmdSiemens_S7::Read_area(int byteAddress, int length, QByteArray *out, int dbNumber, int area,
                             QString name)
{
    const QByteArray request =
        IsoTcp::readRequest(nextReference(), area, dbNumber, byteAddress, length);
    if (request.isEmpty())
        return -1;      // no job can name that place: nothing is sent
    if (Connection_status() == -3)
        return -3;
    return Message_parsing(request, out, length, name);
}

int CmdSiemens_S7::Message_parsing(QByteArray request, QByteArray *out, int length, QString name)
{
    if (debugFlag)
        qDebug().noquote() << logLine(QString::fromUtf8(ReadCommandLine), name, length, request);
    QByteArray answer;
    const int r = SendData(request, answer, 50);
    if (debugFlag)
        qDebug().noquote() << logLine(QString::fromUtf8(ResponseLine), name, length, answer);
    if (answer.isEmpty()) {
        qWarning().noquote() << logLine(QString::fromUtf8(EmptyAnswerLine), name, length, answer);
        return -2;
    }
    QByteArray data;
    if (r != 0 || !IsoTcp::judgeReadAnswer(answer, length, &data)) {
        qWarning().noquote() << logLine(QString::fromUtf8(WrongAnswerLine), name, length, answer);
        return -1;
    }
    out->append(data);
    return 0;
}

int CmdSiemens_S7::WriteHoldingRegistersVarea(int dbNumber, int bitAddress, int count,
                                              QByteArray data, int area, QString name)
{
    return writeJob(dbNumber, bitAddress, count, data, area, name, false);
}

int CmdSiemens_S7::WriteCoilsQarea(int dbNumber, int bitAddress, int count, QByteArray data,
                                   int area, QString name)
{
    return writeJob(dbNumber, bitAddress, count, data, area, name, true);
}

int CmdSiemens_S7::writeJob(int dbNumber, int bitAddress, int count, const QByteArray &data,
                            int area, const QString &name, bool bitItem)
{
    // A job never carries bytes from beyond what the caller encoded.
    if (count < 0 || data.size() < count)
        return -1;
    const QByteArray request = IsoTcp::writeRequest(
        nextReference(), area, dbNumber, bitAddress,
        bitItem ? S7Pdu::ItemSize::Bit : S7Pdu::ItemSize::Byte, data.left(count));
    if (request.isEmpty())
        return -1;      // no job can name that place: nothing is sent
    if (Connection_status() == -3)
        return -3;
    if (debugFlag)
        qDebug().noquote() << logLine(QString::fromUtf8(WriteCommandLine), name, count, request);
    QByteArray answer;
    const int r = SendData(request, answer, 50);
    if (debugFlag)
        qDebug().noquote() << logLine(QString::fromUtf8(ResponseLine), name, count, answer);
    if (answer.isEmpty())
        return -2;
    if (r != 0 || !IsoTcp::judgeWriteAnswer(answer)) {
        if (!bitItem)
            qWarning().noquote() << logLine(QString::fromUtf8(WrongAnswerLine), name, count, answer);
        return -1;
    }
    return 0;
}
