// The PPI link of the Pellimor plug-in: a serial line to the PLC, or a TCP connection to a
// transparent serial-to-Ethernet gateway, each a PpiMedium. It sends frames and runs the
// exchanges within one deadline each; the PpiLineReceiver collects whole frames and keeps the
// line's timing, and the frames themselves are built and judged in PpiFrames.
#ifndef CMDSIEMENS_PPI_H
#define CMDSIEMENS_PPI_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

#include "JobPort.h"
#include "PlcPlace.h"
#include "PpiLineReceiver.h"
#include "PpiMedium.h"
#include "SerialSettings.h"

class QDeadlineTimer;

class CmdSiemens_PPI : public QObject, public JobPort
{
    Q_OBJECT
public:
    explicit CmdSiemens_PPI(QObject *parent = nullptr);
    ~CmdSiemens_PPI() override;

    // Each connect first closes and drops whatever medium the object had: the medium it opens is
    // the only one. 0 when the port is set up and the station answered the greeting; -1
    // otherwise, also when a setting names nothing known (a warning names the field), when the
    // port does not open (nothing is greeted) and for a station outside 1..126 (a warning names it).
    int serialConnectDrive(QString portName, int baud, int dataBits, int stopBits, QString parity, int station);
    // 0 when connected and greeted; -1 when `ip` is not an address literal or the station is
    // outside 1..126; -3 otherwise.
    int EthConnectDrive(QString ip, int tcpPort, int station);
    // Closes whatever medium is open at once and forgets received bytes; returns `result`.
    int dropLink(int result = 0);
    // Each closes whatever medium is open (the gateway left in order); 0 when there was one.
    // EthDisConnectDrive gives 1 without a medium, serialDisConnectDrive 0.
    int serialDisConnectDrive();
    int EthDisConnectDrive();
    bool hasMedium() const { return link != nullptr; }
    // Closes and deletes the medium: 0 when there was one, 1 otherwise. A call in flight (this
    // was called from a slot inside its wait) ends with -3.
    int DestroyFree();
    // 0 while the current medium is up, -3 otherwise.
    int Connection_status();

    int handshake(int station);
    // Sends `request` and appends the first whole frame that comes back to `reply`: 0 when one
    // came within the answer wait, -1 otherwise (or when `timeout` is below 1, which only sends).
    int SendData(QByteArray request, QByteArray &reply, int timeout);
    void Determine_write(QByteArray frame);
    unsigned char cs_Check(QByteArray bytes, unsigned char count);
    // 0 when the first reply to a job lets the master poll for the answer, 1 otherwise.
    int PPI_Rx_cheack(QByteArray reply);
    void mysleep(int ms);

    // The jobs, to the station last set (1 at first); one job fits a PDU of JobPduLength.
    int readCapacity() const override;
    int writeCapacity() const override;
    int readJob(const PlcPlace &place, int length, QByteArray *out) override;
    int writeJob(const PlcPlace &place, const QByteArray &data, bool bitItem) override;
    // A PPI station is of the S7-200 family: its timer and counter codes, and no writes to them.
    int readElements(const PlcPlace &place, int count, QByteArray *words) override;
    int writeElements(const PlcPlace &, const QByteArray &) override { return -1; }
    ElementFamily elementFamily() const override { return ElementFamily::S7_200; }
    void setStation(int station) { jobStation = station; }
    int station() const { return jobStation; }
    // The address this object speaks as (SA of its frames): answers count only when they are
    // addressed to it. 0 unless the connection text names another.
    void setMaster(int address) { ownAddr = address; }
    int master() const { return ownAddr; }

    // The same jobs to a station named per call. Reads `length` bytes; appends them to *out.
    // 0, -1 wrong answer, -2 no answer, -3 link down or a station outside 1..126 (nothing sent).
    int Read_area(int byteAddress, int length, QByteArray *out, int station, int dbNumber, int area, QString name);
    // Writes the first `count` bytes of `data` at `bitAddress` and refuses fewer; a bit item
    // writes one bit.
    int WriteCoilsQarea(int dbNumber, int bitAddress, int count, int station, QByteArray data, int area,
                        QString name, bool bitItem = false);

    // One exchange (request, acknowledgement, polls, answer) ends within AnswerWaitMs plus the
    // time its frames take on the serial line.
    static constexpr int AnswerWaitMs = 2000;
    static constexpr int ConnectWaitMs = 3000;
    static constexpr int DisconnectWaitMs = AnswerWaitMs;
    // A station that answers a poll with 0xE5 is not ready yet: it is polled again after this pause.
    static constexpr int RepollPauseMs = 5;
    static constexpr int QuickWaitMs = PpiLineReceiver::QuickWaitMs;
    static constexpr int FrameStallMs = PpiLineReceiver::FrameStallMs;
    // An E5 right behind another master's request is set aside: it is ours when the line then
    // stays quiet this long, the time in which the other station would have spoken.
    static constexpr int SlotTimeMs = 40;
    // The line's idle time before we speak; each medium knows its own.
    static constexpr int IdleBits = PpiMedium::IdleBits;
    static constexpr int GatewayIdleBaud = PpiMedium::GatewayIdleBaud;

public slots:
    // Kept for the class's shape; the media report through one callback (mediumEvent) instead.
    void Ethconnected() {}
    void Ethdisconnected() { receiver.wake(); }
    void EthreadyRead() { receiver.bytesCame(); }
    void serialreadyRead() { receiver.bytesCame(); }

private:
    bool linkUp() const { return link && link->isUp(); }
    // Makes the object's one medium, after closing and dropping the one it had; it reports to
    // mediumEvent.
    template <typename Medium>
    Medium *adopt();
    void mediumEvent(PpiMedium::Event event, const QString &why);
    // Stops the medium's reports (none reach us while it closes or dies), closes and deletes it.
    void releaseMedium();
    bool greetable(int station);
    int greetOpenedLine(int station, int failure);
    bool readyToSend(int station);
    bool readSerialSettings(int baud, int dataBits, int stopBits, const QString &parity,
                            SerialSettings::Line *line) const;

    int lineTimeMs(int bytes) const;
    template <typename Judge>
    QByteArray nextReply(const QDeadlineTimer &deadline, Judge judge);
    QByteArray nextJobReply(const QDeadlineTimer &deadline, int station, quint16 reference);

    // A job of any kind: its request frame, built with `reference` for `station`, and what the
    // warnings and the trace name it by.
    struct Job {
        QByteArray request;
        int station;
        quint16 reference;
        int answerBytes;    // the answer frame's bytes on the line
        const QString &name;
        int length;
        bool write;         // a write's request is traced with its answer
    };
    // Sends the job unless the link is down (-3), runs its exchange and hands the answer to
    // `judge`; a call deleted or released from a host slot meanwhile ends with -3. A missing
    // (-2) or refused answer gets its warning line.
    template <typename Judge>
    int exchangeJob(const Job &job, Judge judge);
    int runJob(const Job &job, QByteArray &answer);
    int readFrom(int station, const PlcPlace &place, int length, QByteArray *out);
    int writeTo(int station, const PlcPlace &place, const QByteArray &data, bool bitItem);
    quint16 nextReference();
    void trace(const char *kind, const QString &name, int length, const QByteArray &bytes) const;
    // The medium's name, or the gateway's address:port last given, for the warnings.
    QString linkName() const;

    std::unique_ptr<PpiMedium> link;    // made by its connect, which drops the one before
    PpiLineReceiver receiver;
    QHostAddress hostAddr;
    int port = 0;
    int ownAddr = 0;

public:
    bool debugFlag = false;     // gates the request and response trace lines

private:
    quint16 lastReference = 0;         // drawn at random per object: see the constructor
    quint64 releases = 0;               // counts the host's releases of the medium
    int jobStation = 1;                 // the station the jobs of the port go to
};

#endif // CMDSIEMENS_PPI_H
