#include "CmdSiemens_PPI.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>

#include "PpiFrames.h"

CmdSiemens_PPI::CmdSiemens_PPI(QObject *parent)
    : QObject(parent)
{
}

CmdSiemens_PPI::~CmdSiemens_PPI()
{
    DestroyFree();
}

// ---------------------------------------------------------------------------------------------
// Opening and closing the media

int CmdSiemens_PPI::serialConnectDrive(QString portName, int baud, int dataBits, int stopBits,
                                       QString parity, int station)
{
    if (!serialPort) {
        serialPort = new QSerialPort(this);
        connect(serialPort, &QSerialPort::readyRead, this, &CmdSiemens_PPI::serialreadyRead);
    }
    if (serialPort->isOpen()) {
        serialPort->clear(QSerialPort::AllDirections);
        serialPort->close();
    }
    serialPort->setPortName(portName);

    switch (baud) {
    case 1200: case 2400: case 4800: case 9600: case 19200: case 38400: case 57600: case 115200:
        serialPort->setBaudRate(baud, QSerialPort::AllDirections);
        break;
    default:
        break;
    }
    if (dataBits >= 5 && dataBits <= 8)
        serialPort->setDataBits(static_cast<QSerialPort::DataBits>(dataBits));
    switch (stopBits) {
    case 1: serialPort->setStopBits(QSerialPort::OneStop); break;
    case 2: serialPort->setStopBits(QSerialPort::TwoStop); break;
    case 3: serialPort->setStopBits(QSerialPort::OneAndHalfStop); break;
    default: break;
    }
    // The first letter found decides, so "Even" selects no parity (it contains an n).
    if (parity.contains(QLatin1Char('N'), Qt::CaseInsensitive))
        serialPort->setParity(QSerialPort::NoParity);
    else if (parity.contains(QLatin1Char('E'), Qt::CaseInsensitive))
        serialPort->setParity(QSerialPort::EvenParity);
    else if (parity.contains(QLatin1Char('O'), Qt::CaseInsensitive))
        serialPort->setParity(QSerialPort::OddParity);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);

    if (!serialPort->open(QIODevice::ReadWrite))
        qDebug().noquote().nospace() << portName << QStringLiteral("打开失败!");

    if (!gapTimer) {
        gapTimer = new QTimer(this);
        gapTimer->setSingleShot(false);
        connect(gapTimer, &QTimer::timeout, this, &CmdSiemens_PPI::TimerTimeOut);
    }
    return handshake(station) == 0 ? 0 : -1;
}

int CmdSiemens_PPI::EthConnectDrive(QString ip, int tcpPort, int station)
{
    port = tcpPort;
    if (!tcpSocket) {
        tcpSocket = new QTcpSocket(this);
        connect(tcpSocket, &QTcpSocket::connected, this, &CmdSiemens_PPI::Ethconnected);
        connect(tcpSocket, &QTcpSocket::disconnected, this, &CmdSiemens_PPI::Ethdisconnected);
        connect(tcpSocket, &QTcpSocket::readyRead, this, &CmdSiemens_PPI::EthreadyRead);
    }
    if (!hostAddr.setAddress(ip))
        return -1;
    tcpSocket->abort();
    tcpSocket->connectToHost(hostAddr, quint16(tcpPort & 0xFFFF), QIODevice::ReadWrite);
    tcpSocket->waitForConnected(ConnectWaitMs);
    const auto state = tcpSocket->state();
    if (state != QAbstractSocket::ConnectingState && state != QAbstractSocket::ConnectedState)
        return -3;
    return handshake(station) == 0 ? 0 : -3;
}

int CmdSiemens_PPI::serialDisConnectDrive()
{
    if (serialPort && serialPort->isOpen()) {
        serialPort->clear(QSerialPort::AllDirections);
        serialPort->close();
    }
    return 0;
}

int CmdSiemens_PPI::EthDisConnectDrive()
{
    if (!tcpSocket)
        return 1;
    tcpSocket->close();
    tcpSocket->disconnectFromHost();
    if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
        tcpSocket->waitForDisconnected(DisconnectWaitMs);
    return 0;
}

void CmdSiemens_PPI::deletetcpSocket()
{
    disconnect(tcpSocket, &QTcpSocket::connected, this, &CmdSiemens_PPI::Ethconnected);
    disconnect(tcpSocket, &QTcpSocket::disconnected, this, &CmdSiemens_PPI::Ethdisconnected);
    disconnect(tcpSocket, &QTcpSocket::readyRead, this, &CmdSiemens_PPI::EthreadyRead);
    delete tcpSocket;
    tcpSocket = nullptr;
}

void CmdSiemens_PPI::deleteSerialPort()
{
    disconnect(serialPort, &QSerialPort::readyRead, this, &CmdSiemens_PPI::serialreadyRead);
    disconnect(gapTimer, &QTimer::timeout, this, &CmdSiemens_PPI::TimerTimeOut);
    delete serialPort;
    serialPort = nullptr;
    delete gapTimer;
    gapTimer = nullptr;
}

int CmdSiemens_PPI::DestroyFree()
{
    if (serialPort) {
        serialDisConnectDrive();
        deleteSerialPort();
        return 0;
    }
    if (tcpSocket) {
        if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
            EthDisConnectDrive();
        deletetcpSocket();
        return 0;
    }
    return 1;
}

int CmdSiemens_PPI::Connection_status()
{
    if (tcpSocket)
        return tcpSocket->state() == QAbstractSocket::UnconnectedState ? -3 : 0;
    if (serialPort)
        return serialPort->isOpen() ? 0 : -3;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Exchanges

int CmdSiemens_PPI::handshake(int station)
{
    const QByteArray frame = PpiFrames::greeting(station);
    QByteArray reply;
    const int sent = SendData(frame, reply, 50);
    qDebug().noquote() << frame.toHex() << reply.toHex();
    if (sent != 0 || reply.size() < 3)
        return 1;
    // Only a well-formed frame from the station greeted counts: a corrupted byte is no greeting.
    const PpiFrames::Frame answer = PpiFrames::parse(reply);
    if (answer.kind != PpiFrames::Kind::Fixed && answer.kind != PpiFrames::Kind::Variable)
        return 1;
    return answer.sa == (station & 0xFF) ? 0 : 1;
}

unsigned char CmdSiemens_PPI::cs_Check(QByteArray bytes, unsigned char count)
{
    return PpiFrames::checksum(bytes, 0, count);
}

int CmdSiemens_PPI::PPI_Rx_cheack(QByteArray reply)
{
    if (reply.isEmpty())
        return 1;
    if (quint8(reply.at(0)) == PpiFrames::ShortAck)
        return 0;
    if (reply.size() == PpiFrames::FixedLength && quint8(reply.at(4)) == 0x04)
        return 0;
    return 1;
}

void CmdSiemens_PPI::mysleep(int ms)
{
    // Waits for events instead of spinning over them: the HMI shares the processor.
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void CmdSiemens_PPI::discardPending()
{
    recvBuf.clear();
    replyEnded = false;
    if (gapTimer)
        gapTimer->stop();
    if (tcpSocket && tcpSocket->bytesAvailable() > 0)
        tcpSocket->readAll();
    else if (!tcpSocket && serialPort && serialPort->isOpen() && serialPort->bytesAvailable() > 0)
        serialPort->readAll();
}

void CmdSiemens_PPI::Determine_write(QByteArray frame)
{
    // The write's outcome is not examined: a frame that did not go out gets no reply.
    if (tcpSocket) {
        if (tcpSocket->state() == QAbstractSocket::UnconnectedState)
            return;
        tcpSocket->write(frame);
        tcpSocket->flush();
        if (tcpSocket->bytesToWrite() > 0)
            tcpSocket->waitForBytesWritten(WriteWaitMs);
    } else if (serialPort) {
        if (!serialPort->isOpen())
            return;
        serialPort->write(frame);
        serialPort->flush();
        // With nothing left to write, the port's wait would sit out its whole time-out.
        if (serialPort->bytesToWrite() > 0)
            serialPort->waitForBytesWritten(WriteWaitMs);
    }
}

int CmdSiemens_PPI::SendData(QByteArray request, QByteArray &reply, int timeout)
{
    discardPending();
    const bool mediumOpen = tcpSocket ? tcpSocket->state() != QAbstractSocket::UnconnectedState
                                      : (serialPort && serialPort->isOpen());
    Determine_write(request);
    if (timeout < 1) {
        mysleep(5);
        return -1;
    }
    // Nothing went out, so nothing can come back: do not make the caller wait for it.
    if (!mediumOpen)
        return -1;

    // The reply ends when its frame is complete (or, for bytes that cannot start a frame, after
    // the frame gap); the answer wait bounds the whole exchange.
    if (!replyEnded) {
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(AnswerWaitMs);
        replyWait = &loop;
        loop.exec();
        replyWait = nullptr;
    }
    if (gapTimer)
        gapTimer->stop();
    if (recvBuf.isEmpty())
        return -1;
    reply.append(recvBuf);
    recvBuf.clear();
    return 0;
}

int CmdSiemens_PPI::pollForAnswer(int station, QByteArray &answer)
{
    const QByteArray pollFrame = PpiFrames::poll(station, ownAddr);
    QElapsedTimer waited;
    waited.start();
    for (int polls = 0; polls < MaxPolls; ++polls) {
        answer.clear();
        const int sent = SendData(pollFrame, answer, 50);
        if (sent != 0)
            return sent;
        const bool notReady = answer.size() == 1 && quint8(answer.at(0)) == PpiFrames::ShortAck;
        if (!notReady)
            return 0;
        if (waited.elapsed() >= AnswerWaitMs)
            break;
        mysleep(RepollPauseMs);
    }
    // The station never got its answer ready: that is no answer.
    answer.clear();
    return -1;
}

void CmdSiemens_PPI::trace(const char *kind, const QString &name, int length, const QByteArray &bytes) const
{
    qDebug().noquote() << QStringLiteral("lib[Siemens_PPI]%1 %2:%3 Area=%4  len = %5 msg : %6")
                              .arg(QString::fromUtf8(kind), hostAddr.toString(), QString::number(port),
                                   name, QString::number(length), QString::fromLatin1(bytes.toHex()));
}

int CmdSiemens_PPI::Read_area(int byteAddress, int length, QByteArray *out, int station, int dbNumber,
                              int area, QString name)
{
    // Frames that cannot carry the request or its answer are never sent (the facade refuses them first).
    if (length < 0 || length > PpiFrames::MaxReadBytes || byteAddress < 0)
        return -1;
    const QByteArray request = PpiFrames::readRequest(station, ownAddr, area, dbNumber, byteAddress, length);
    if (request.isEmpty())
        return -1;      // no job can name that place: nothing is sent
    if (Connection_status() == -3)
        return -3;

    QByteArray answer;
    int sent = SendData(request, answer, 50);
    if (debugFlag)
        trace("读命令", name, length, request);
    if (sent == 0 && PPI_Rx_cheack(answer) == 0)
        sent = pollForAnswer(station, answer);
    if (debugFlag)
        trace("响应", name, length, answer);

    if (answer.isEmpty())
        return -2;
    if (sent != 0)
        return -1;
    return PpiFrames::judgeReadAnswer(answer, station, ownAddr, length, out);
}

int CmdSiemens_PPI::WriteCoilsQarea(int dbNumber, int bitAddress, int count, int station, QByteArray data,
                                    int area, QString name, bool bitItem)
{
    if (count < 0 || count > PpiFrames::MaxWriteBytes || bitAddress < 0)
        return -1;
    // Exactly `count` bytes go out; bytes the caller did not supply are zeros, never foreign memory.
    QByteArray payload = data.left(count);
    if (payload.size() < count)
        payload.append(QByteArray(count - payload.size(), '\0'));
    if (bitItem)
        payload = payload.left(1);
    const QByteArray request = PpiFrames::writeRequest(station, ownAddr, area, dbNumber, bitAddress, bitItem, payload);
    if (request.isEmpty())
        return -1;      // no job can name that place: nothing is sent
    if (Connection_status() == -3)
        return -3;

    QByteArray answer;
    int sent = SendData(request, answer, 50);
    if (sent == 0 && PPI_Rx_cheack(answer) == 0)
        sent = pollForAnswer(station, answer);
    if (debugFlag) {
        trace("写命令", name, count, request);
        trace("响应", name, count, answer);
    }

    if (answer.isEmpty())
        return -2;
    if (sent != 0)
        return -1;
    return PpiFrames::judgeWriteAnswer(answer, station, ownAddr);
}

// ---------------------------------------------------------------------------------------------
// Receive paths: every delivery is appended to the reply of the running exchange.

void CmdSiemens_PPI::appendReceived(const QByteArray &bytes)
{
    // A reply longer than any frame is garbage; keeping more of it would only cost memory.
    const int room = 2 * PpiFrames::MaxFrameLength - recvBuf.size();
    if (room > 0)
        recvBuf.append(bytes.left(room));
}

void CmdSiemens_PPI::endReplyIfComplete()
{
    if (recvBuf.isEmpty())
        return;
    const int missing = PpiFrames::missingBytes(recvBuf);
    if (missing > 0) {
        if (gapTimer)
            gapTimer->stop();
        return;
    }
    if (missing < 0 && gapTimer && !tcpSocket) {
        // Bytes that cannot start a frame: take what the line delivers until it is quiet.
        gapTimer->start(frameGapMs);
        return;
    }
    replyEnded = true;
    if (replyWait)
        replyWait->quit();
}

void CmdSiemens_PPI::TimerTimeOut()
{
    if (gapTimer && gapTimer->isActive())
        gapTimer->stop();
    if (serialPort && serialPort->isOpen())
        appendReceived(serialPort->readAll());
    if (recvBuf.isEmpty() || PpiFrames::missingBytes(recvBuf) > 0)
        return;
    replyEnded = true;
    if (replyWait)
        replyWait->quit();
}

void CmdSiemens_PPI::Ethconnected()
{
}

void CmdSiemens_PPI::Ethdisconnected()
{
    qWarning().noquote() << QStringLiteral("lib[Siemens_PPI]%1:%2 Disconnected=").arg(hostAddr.toString()).arg(port)
                         << (tcpSocket ? tcpSocket->error() : QAbstractSocket::UnknownSocketError);
}

void CmdSiemens_PPI::EthreadyRead()
{
    if (!tcpSocket)
        return;
    while (tcpSocket->bytesAvailable() > 0)
        appendReceived(tcpSocket->readAll());
    endReplyIfComplete();
}

void CmdSiemens_PPI::serialreadyRead()
{
    if (!serialPort)
        return;
    appendReceived(serialPort->readAll());
    endReplyIfComplete();
}
