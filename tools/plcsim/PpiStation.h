// A simulated PPI station on a shared PlcMemory, served behind a transparent TCP gateway on
// loopback or on a pseudo-terminal. It answers the greeting (FDL status), acknowledges every
// job with 0xE5, delivers the answer on the poll, and answers what it cannot serve with an S7
// error item, as a station does (0x05 for an address it cannot serve, a byte item whose start
// address has a bit part included). Frames with a bad FCS or for another station go unanswered.
// The S7 jobs are answered as the S7 server answers them (S7Jobs), but for the set-up, which a
// station refuses (0x81/0x04) as any function it does not serve. Framing: PpiStationFrames;
// gateway and pseudo-terminal: PpiLinks.
//
// Faults on purpose, chosen by the data block a job addresses (area 0x84); the block is
// ordinary memory otherwise, and data blocks 1..999 always behave normally:
//   DB 9001  no 0xE5: the job is answered at once with the data frame
//   DB 9002  negative acknowledgement: the fixed frame with function code 0x01 (user error)
//   DB 9003  garbage: bytes that cannot start a frame instead of the acknowledgement
//   DB 9004  acknowledged, then silent on the poll
//   DB 9005  0xE5 to the first two polls (not ready yet), then the data frame
//   DB 9006  the data frame in four pieces with 20 ms pauses between them
//   DB 9007  silent: the job is never answered at all
//   DB 9008  the data frame with a bad FCS
//   DB 9009  0xE5 to every poll: the answer never gets ready
//   DB 9010  an S7 error item (0x0A, object does not exist); nothing is read or written
//   DB 9011  acknowledged, but the answer to the poll comes LateReplyMs late, in two pieces
//   DB 9012  the acknowledgement comes LateReplyMs late (the answer is ready for a poll)
//   DB 9013  a glitch byte 0x00 before the acknowledgement, as an RS-485 line turning round
//   DB 9014  the station vanishes: the gateway connection is closed, or the pseudo-terminal is
//            closed (a USB adapter unplugged) and a new one is linked at the same path (plugged in)
//   DB 9015  on the poll, an answer with another PDU reference and other data, then the answer
//   DB 9016  on the poll, an answer addressed to another master with other data, then the answer
//   DB 9017  acknowledged, then the station reads nothing more from this link: its receive
//            window stays closed
//   DB 9018  an S7 error item (0x05, address out of range) for a job whose byte range holds byte
//            FailingByte; other jobs are served (so a range split into jobs fails in the middle)
// Jobs larger than a 240-byte PDU, and reads whose answer would be, are answered with error
// class 0x85 ("PDU size"), as a station does.
//   DB 9023  on the poll, garbage bytes, then the answer
//   DB 9024  on the poll, the previous job's answer again, then the answer
// Line traffic of a shared bus, around this job's replies (see setTraffic):
//   DB 9025  tokens      DB 9026  FDL status of another master    DB 9027  another master's job
//   DB 9028  SD3 frames  DB 9029  echo: the job and its polls come back first, as from a 2-wire adapter
//   DB 9030  the job's E5 comes right behind another master's FDL status request to station 3
//   DB 9031  the job's E5 comes right behind another master's job request to station 3, which
//            stays silent
//   DB 9032  a second, lone E5 behind the job's E5, before the master polls
// With a chaos plan (setChaos), every other job draws one of these faults at random (all but
// 9017, which would stall the link for good).
// The station is an S7-200: timers and counters with the codes 0x1F/0x1E in records of 5 bytes
// (setTimerRecordBytes: 3), no periphery (0x0A); timer S7Jobs::WrongRecordTimer answers with
// 4-byte records; SMB0-SMB29 and the analog inputs refuse writes with 0x03.
// Station faults that no address can reach (the greeting) are setters: setGreetingAddress,
// setGreetingCorrupted; and for every reply setTraffic, setEcho.
//
// The station lives in the thread that created it; the setters and receivedFrames() may be
// called from any thread.
#ifndef PPISTATION_H
#define PPISTATION_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSemaphore>
#include <QString>

#include <atomic>
#include <memory>

class ChaosPlan;
class PlcMemory;
namespace PpiLinks {
class Gateway;
class Pty;
}

class PpiStation : public QObject
{
    Q_OBJECT
public:
    enum ReservedBlock {
        NoAckBlock = 9001,
        NakBlock = 9002,
        GarbageBlock = 9003,
        SilentPollBlock = 9004,
        NotReadyBlock = 9005,
        PiecesBlock = 9006,
        SilentBlock = 9007,
        BadFcsBlock = 9008,
        NeverReadyBlock = 9009,
        ErrorItemBlock = 9010,
        LateAnswerBlock = 9011,
        LateAckBlock = 9012,
        GlitchBlock = 9013,
        VanishBlock = 9014,
        StrayReferenceBlock = 9015,
        OtherMasterBlock = 9016,
        WindowClosedBlock = 9017,
        FailingRangeBlock = 9018,
        GarbageFirstBlock = 9023,
        EarlierFirstBlock = 9024,
        TokenBlock = 9025,
        StatusBlock = 9026,
        OtherExchangeBlock = 9027,
        FixedDataBlock = 9028,
        EchoBlock = 9029,
        ForeignStatusFirstBlock = 9030,
        ForeignJobFirstBlock = 9031,
        LoneAckBlock = 9032
    };
    // What else a shared line carries: in front of every reply of the station, frames of these
    // kinds, and behind it one more that is still arriving for PiecePauseMs (a master that speaks
    // then collides with it, and the station does not hear its frame).
    enum Traffic {
        TokenTraffic = 1,       // tokens passed between other masters (SD4)
        StatusTraffic = 2,      // another master asks a station for its FDL status, and its answer
        ExchangeTraffic = 4,    // another master's job to this station: request, E5, poll, answer
        FixedDataTraffic = 8,   // SD3 frames with data bytes that look like frame starts
        AllTraffic = 15
    };
    static constexpr int FailingByte = 1000;
    static constexpr int PiecePauseMs = 20;
    // Later than any answer wait of the driver.
    static constexpr int LateReplyMs = 2500;
    static constexpr int NotReadyPolls = 2;

    PpiStation(PlcMemory *memory, int stationAddress, QObject *parent = nullptr);
    ~PpiStation() override;

    bool listenTcp(quint16 port);
    quint16 tcpPort() const;
    // Opens a pseudo-terminal, serves its master side and links its slave device at linkPath.
    bool openPty(const QString &linkPath);
    QString ptyDevice() const;

    // Answers the greeting with this source address instead of its own (-1: its own).
    void setGreetingAddress(int address) { greetingAddress = address; }
    // Answers the greeting with a wrong frame check sequence.
    void setGreetingCorrupted(bool corrupted) { greetingCorrupted = corrupted; }
    // Line traffic of these kinds (Traffic, or-ed) around every reply; 0: none.
    void setTraffic(int kinds) { traffic = kinds; }
    // Every byte received comes back first, as a 2-wire RS-485 adapter echoes the master.
    void setEcho(bool on) { echo = on; }
    // An S7-200: its timer and counter records have 5 bytes, or 3 when set so.
    void setTimerRecordBytes(int bytes) { timerRecords = bytes; }
    // The gateway's clients share one line, as behind a multi-client serial-to-TCP gateway:
    // every reply of the station reaches every client, and the station keeps one exchange per
    // master address (the SA of the frames), not per client. Call before clients connect.
    void setSharedGateway(bool on) { sharedGateway = on; }
    // Reads "token,status,exchange,sd3" or "all"; false for anything else.
    static bool parseTraffic(const QString &text, int *kinds);
    // The frames the traffic puts on the line for a station address, whole.
    static QList<QByteArray> trafficFrames(int stationAddress, int kinds);
    // Waits until a late reply (DB 9011, 9012) has been written whole; false after `ms`.
    bool waitForLateReply(int ms);
    // The settings the driver runs the pseudo-terminal with; false without one.
    bool lineSettings(struct LineSettings *settings) const;
    // Call before serving: from then on jobs draw their faults from `plan`.
    void setChaos(const ChaosPlan &plan);
    static bool isFaultBlock(int dbNumber);

    // Serves `bytes` as if they came over a medium of their own and returns what the station
    // wrote back at once; answers that come later (pieces, late answers) are not returned.
    // Lets the station's parsers be exercised without a socket or a terminal.
    QByteArray serveBytes(const QByteArray &bytes);

    // The last KeptFrames complete frames the station received, in order (for tests that check
    // the master); a station that runs for months keeps no more than those.
    static constexpr int KeptFrames = 1024;
    QList<QByteArray> receivedFrames() const;
    void clearReceivedFrames();
    // Complete frames received since the station started (not reset by clearReceivedFrames).
    qint64 receivedFrameCount() const { return framesReceived.load(); }
    // Clients connected to the gateway now.
    int gatewayClients() const;

    class Link;

private:
    void onBytes(Link *link, const QByteArray &bytes);
    void onFrame(Link *link, const QByteArray &frame);
    void onJob(Link *link, int master, const QByteArray &pdu);
    void onPoll(Link *link);
    bool applyJobFault(Link *link, int block, int master, const QByteArray &answerPdu);
    void deliver(Link *link, const QByteArray &frame, bool inPieces);
    void speak(Link *link, const QByteArray &reply);
    void deliverLate(Link *link, const QByteArray &bytes, bool inPieces);
    QByteArray answerJob(const QByteArray &pdu);

    PlcMemory *memory;
    int station;
    std::atomic<int> greetingAddress{-1};
    std::atomic<bool> greetingCorrupted{false};
    std::atomic<int> traffic{0};
    std::atomic<bool> echo{false};
    std::atomic<int> timerRecords{5};
    std::atomic<bool> sharedGateway{false};
    QHash<int, Link *> masterLinks;     // the exchanges of a shared gateway line, by master
    QSemaphore lateReplies;
    PpiLinks::Gateway *gateway;
    PpiLinks::Pty *pty;
    mutable QMutex receivedMutex;
    QList<QByteArray> received;
    std::atomic<qint64> framesReceived{0};
    std::unique_ptr<ChaosPlan> chaos;
    Link *memoryLink = nullptr;
    QByteArray memoryLinkOutput;
};

#endif // PPISTATION_H
