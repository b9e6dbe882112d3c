// The S7 transport: one ISO-on-TCP connection to one PLC, its two set-up handshakes, and the
// blocking send-and-wait on which every read and write job is built. It moves bytes and knows
// when a frame is complete; building and judging frames is IsoTcpFrames' business.
#ifndef CMDSIEMENS_S7_H
#define CMDSIEMENS_S7_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpSocket;

class CmdSiemens_S7 : public QObject
{
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 3000;
    static constexpr int AnswerTimeoutMs = 2000;
    static constexpr int DrainTimeoutMs = 30000;
    // Bytes kept between requests; more than that is a flood that no request asked for.
    static constexpr int ReceiveBufferLimit = 1 << 20;

    CmdSiemens_S7();
    ~CmdSiemens_S7() override;

    int ConnectDrive(QString ip, int port);
    int DisConnectDrive();
    int Connection_status();
    int SendData(QByteArray request, QByteArray &reply, int expected);
    int First_handshake();
    int Second_handshake();
    int deletetcpSocket();
    int DestroyFree();
    // The PDU length the PLC granted at the set-up of the current link; 0 before a set-up.
    int pduLength() const { return grantedPdu; }

    int Read_area(int byteAddress, int length, QByteArray *out, int dbNumber, int area, QString name);
    int Message_parsing(QByteArray request, QByteArray *out, int length, QString name);
    int WriteHoldingRegistersVarea(int dbNumber, int bitAddress, int count, QByteArray data, int area,
                                   QString name);
    int WriteCoilsQarea(int dbNumber, int bitAddress, int count, QByteArray data, int area,
                        QString name);

    QByteArray recvBuf;             // received bytes that no request has taken yet
    QHostAddress hostAddr;
    QTcpSocket *tcpSocket = nullptr;
    int port = 0;
    bool debugFlag = false;         // gates the request and response trace lines
    int grantedPdu = 0;             // what the last accepted set-up granted

public slots:
    void myconnected();
    void mydisconnected();
    void myreadyRead();

private:
    quint16 nextReference();
    int writeJob(int dbNumber, int bitAddress, int count, const QByteArray &data, int area,
                 const QString &name, bool bitItem);
    QString logLine(const QString &pattern, const QString &name, int length,
                    const QByteArray &bytes) const;
};

#endif // CMDSIEMENS_S7_H
