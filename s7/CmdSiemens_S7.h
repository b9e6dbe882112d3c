// The S7 transport: one ISO-on-TCP connection to one PLC, its two set-up handshakes, and the
// blocking send-and-wait on which every read and write job is built. It moves bytes and knows
// when a frame is complete; building and judging frames is IsoTcpFrames' business.
#ifndef CMDSIEMENS_S7_H
#define CMDSIEMENS_S7_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include "IsoTcpFrames.h"
#include "JobPort.h"
#include "TimerCounterFamily.h"
#include "PlcPlace.h"
#include "S7Refusal.h"

class QTcpSocket;

class CmdSiemens_S7 : public QObject, public JobPort
{
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 3000;
    // A request is written and answered within this time; a disconnect takes no longer either.
    static constexpr int AnswerTimeoutMs = 2000;
    static constexpr int DisconnectTimeoutMs = AnswerTimeoutMs;
    // Bytes kept between requests; more than that is a flood that no request asked for.
    static constexpr int ReceiveBufferLimit = 1 << 20;

    CmdSiemens_S7();
    ~CmdSiemens_S7() override;

    int ConnectDrive(QString ip, int port);
    int DisConnectDrive();
    // Closes the connection at once, without waiting, and forgets received bytes; returns `result`.
    int dropLink(int result = 0);
    int Connection_status();
    int SendData(QByteArray request, QByteArray &reply, int expected);
    int First_handshake();
    int Second_handshake();
    int deletetcpSocket();
    int DestroyFree();
    // The PDU length the PLC granted at the set-up of the current link; 0 before a set-up.
    int pduLength() const { return grantedPdu; }

    // The jobs, sized by the granted PDU.
    int readCapacity() const override;
    int writeCapacity() const override;
    int readJob(const PlcPlace &place, int length, QByteArray *out) override;
    int writeJob(const PlcPlace &place, const QByteArray &data, bool bitItem) override;
    int readElements(const PlcPlace &place, int count, QByteArray *words) override;
    int writeElements(const PlcPlace &place, const QByteArray &words) override;
    ElementFamily elementFamily() const override { return timerCounterFamily.known(); }

    // The same jobs by their historic names: a read, a write of byte items and one of a bit item;
    // the writes carry the first `count` bytes of `data` and refuse fewer.
    int Read_area(int byteAddress, int length, QByteArray *out, int dbNumber, int area, QString name);
    int Message_parsing(QByteArray request, QByteArray *out, int length, QString name);
    int WriteHoldingRegistersVarea(int dbNumber, int bitAddress, int count, QByteArray data, int area,
                                   QString name);
    int WriteCoilsQarea(int dbNumber, int bitAddress, int count, QByteArray data, int area,
                        QString name);

    QByteArray recvBuf;             // the received stream; bytes before recvStart are taken
    QHostAddress hostAddr;
    QTcpSocket *tcpSocket = nullptr;
    int port = 0;
    bool debugFlag = false;         // gates the request and response trace lines
    int grantedPdu = 0;             // what the last accepted set-up granted
    int tpduSize = IsoTcp::DefaultTpduSize;             // what the last connection confirm granted
    quint16 localTsap = IsoTcp::DefaultLocalTsap;       // the TSAPs of the next connection request
    quint16 remoteTsap = IsoTcp::DefaultRemoteTsap;

public slots:
    void myconnected();
    void mydisconnected();
    void myreadyRead();

private:
    // The socket lives on the thread that connects (not necessarily the driver's own).
    static constexpr Qt::ConnectionType SocketSignal = Qt::DirectConnection;

    // One step of the set-up; *accepted receives the answer it accepted.
    int handshake(int step, const QByteArray &request, QByteArray *accepted);
    int sendJob(const char *commandLine, const QByteArray &request, const QString &name, int count,
                QByteArray *answer);
    int exchange(const char *commandLine, const QByteArray &request, const QString &name, int count,
                 QByteArray *answer);
    void warnWrongAnswer(const QString &name, int count, const QByteArray &answer,
                         const S7Refusal::Reason &reason) const;
    QByteArray unread() const;
    void taken(int bytes);
    void forgetStream();
    // Passes over what cannot start a TSDU at the front of the stream; false when more bytes are
    // needed first. The first bytes that were no frame at all go to *junk.
    bool frontReady(QByteArray *junk);
    // Gives up the incomplete TSDU at the front (the deadline came): its rest is dropped when it comes.
    void cutFront();
    void dropStaleFrames();
    // 0 when a job may go out; -3 when the link is down or the peer has closed it (then dropped).
    int linkUp();
    quint16 nextReference();
    QString logLine(const QString &pattern, const QString &name, int length,
                    const QByteArray &bytes) const;

    int recvStart = 0;              // where the untaken bytes of recvBuf begin
    bool inRequest = false;         // a request waits for its answer
    bool resyncing = false;         // the front may be the rest of a unit given up: seek a TPKT
    bool insideTsdu = false;        // data units at the front continue a TSDU given up
    quint16 lastReference = 0;
    TimerCounterFamily timerCounterFamily;
};

#endif // CMDSIEMENS_S7_H
