// The PPI link of the Pellimor plug-in: a serial line to the PLC, or a TCP connection to a
// transparent serial-to-Ethernet gateway. It moves frames and knows when a reply is complete;
// the frames themselves are built and judged in PpiFrames.
#ifndef CMDSIEMENS_PPI_H
#define CMDSIEMENS_PPI_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QEventLoop;
class QSerialPort;
class QTcpSocket;
class QTimer;

class CmdSiemens_PPI : public QObject
{
    Q_OBJECT
public:
    explicit CmdSiemens_PPI(QObject *parent = nullptr);
    ~CmdSiemens_PPI() override;

    // 0 when the port is set up and the station answered the greeting, -1 otherwise.
    int serialConnectDrive(QString portName, int baud, int dataBits, int stopBits, QString parity, int station);
    // 0 when connected and greeted; -1 when `ip` is not an address literal; -3 otherwise.
    int EthConnectDrive(QString ip, int tcpPort, int station);
    int serialDisConnectDrive();
    int EthDisConnectDrive();
    int DestroyFree();
    int Connection_status();

    int handshake(int station);
    // Sends `request` and appends the reply frame to `reply`: 0 when reply bytes came, -1 when
    // none came within the answer wait (or `timeout` is below 1, which only sends).
    int SendData(QByteArray request, QByteArray &reply, int timeout);
    void Determine_write(QByteArray frame);
    unsigned char cs_Check(QByteArray bytes, unsigned char count);
    // 0 when the first reply to a job lets the master poll for the answer, 1 otherwise.
    int PPI_Rx_cheack(QByteArray reply);
    void mysleep(int ms);

    // Reads `length` bytes; appends them to *out. 0, -1 wrong answer, -2 no answer, -3 link down.
    int Read_area(int byteAddress, int length, QByteArray *out, int station, int dbNumber, int area, QString name);
    // Writes the first `count` bytes of `data` at `bitAddress`; a bit item writes one bit.
    int WriteCoilsQarea(int dbNumber, int bitAddress, int count, int station, QByteArray data, int area,
                        QString name, bool bitItem = false);

    // Waits an exchange is bounded by.
    static constexpr int WriteWaitMs = 1000;
    static constexpr int AnswerWaitMs = 2000;
    static constexpr int ConnectWaitMs = 3000;
    static constexpr int DisconnectWaitMs = 30000;
    // A station that answers a poll with 0xE5 is not ready yet: it is polled this often at most.
    static constexpr int MaxPolls = 10;
    static constexpr int RepollPauseMs = 5;

public slots:
    void Ethconnected();
    void Ethdisconnected();
    void EthreadyRead();
    void serialreadyRead();

private:
    void TimerTimeOut();
    void deletetcpSocket();
    void deleteSerialPort();
    void appendReceived(const QByteArray &bytes);
    void endReplyIfComplete();
    void discardPending();
    // Polls until the station delivers something other than 0xE5. Result as SendData.
    int pollForAnswer(int station, QByteArray &answer);
    void trace(const char *kind, const QString &name, int length, const QByteArray &bytes) const;

    QByteArray recvBuf;
    QTimer *gapTimer = nullptr;
    QSerialPort *serialPort = nullptr;
    QHostAddress hostAddr;
    QTcpSocket *tcpSocket = nullptr;
    int port = 0;
    int ownAddr = 0;
    int frameGapMs = 2;

public:
    bool debugFlag = false;     // gates the request and response trace lines

private:
    QEventLoop *replyWait = nullptr;    // the wait of the running exchange, if any
    bool replyEnded = false;
};

#endif // CMDSIEMENS_PPI_H
