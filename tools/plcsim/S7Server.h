// The simulator's S7 side: an ISO-on-TCP server on loopback that confirms the COTP connection,
// answers the S7 set-up, and serves read-variable and write-variable jobs (byte and bit items)
// on the shared PlcMemory. Every connection has its own TPKT reassembly and its own answer queue,
// so several clients may be served one after another or at the same time.
//
// Answers as a PLC gives them:
//   - out-of-range address, or a byte item whose start address has a bit part: item return
//     code 0x05; unknown area or data block 0: 0x0A;
//     item transport size other than bit or byte: 0x06; write data length not matching: 0x07;
//   - the set-up grants the PDU length asked for, at most the server's PDU size (960 unless
//     set); a job or an answer larger than that: ack-data with error class 0x85, code 0x00
//     ("PDU size") and neither parameters nor data;
//   - any other job function, or more than one item: error class 0x81, code 0x04.
//
// Reserved data blocks (area 0x84; for read and write jobs alike) misbehave on purpose, so that
// every error path of a client is reachable without restarting the server. The data itself is
// served from those blocks as usual where an answer is sent at all. Blocks 1..999 (and every
// other block) behave normally.
//   60001 the answer comes LateAnswerMs late (answers queued behind it wait for it)
//   60002 the answer is split into three segments (2 bytes, 5 bytes, rest) SplitPauseMs apart
//   60003 a stray answer with another PDU reference, then the answer, both in one segment
//   60004 the answer, then a duplicate of it, both in one segment
//   60005 only an answer with another PDU reference
//   60006 an ack-data header with error class 0x81, code 0x04
//   60007 no answer: the server closes the connection
//   60008 no answer at all
//   60009 only the first half of the answer, then nothing
//   60010 a TPKT whose length field says 3 (a broken frame)
//   60011 the answer comes LateAnswerMs late, in two segments LateSplitPauseMs apart
//   60012 the answer, then the server reads nothing more from this connection: its receive
//         window stays closed
//   60013 FloodBytes of answers with another PDU reference, then the answer, in one write
//   60014 a job whose byte range holds byte FailingByte gets the error item 0x05; other jobs
//         are served (so a range split into jobs fails in the middle)
//   60021 the answer to the previous job on this connection again, then the answer
//   60022 an empty data unit (a "fast acknowledge"), then the answer
//   60023 the answer in data units of FragmentBytes bytes of its PDU each
//   60024 the answer in data units of FragmentBytes bytes of its PDU each, cut in the middle of a
//         unit: the first half at once, the rest LateAnswerMs late (and answers queued behind it
//         another LateSplitPauseMs later)
//   60025 instead of the answer, a data unit whose PDU is no S7 PDU (protocol id 0x31)
//   60026 that data unit, then the answer, both in one segment
//   60027 the answer, then the server closes the connection
// With a chaos plan (setChaos), every other read or write job draws one of these faults at
// random (all but 60012 and 60013, which stall the connection or flood it, and 60014); the set-up
// exchanges are always answered plainly.
// Handshake refusals are per server (setRefusal): the connection request or the set-up job is
// answered with a COTP disconnect request instead of its confirmation.
// As PLCs in the field are set up, per server: a connection request for another remote TSAP is
// answered by closing the connection (setRemoteTsap); the confirm grants a TPDU size of its own
// and answers come in units of that size (setTpduSize); an empty data unit goes ahead of every
// answer (setFastAcknowledge); reads and writes are refused with error class 0x81 / 0x83, code
// 0x04 (setPutGetRefused); only the data blocks given exist, others get item 0x0A
// (setDataBlocks). A request that comes in several units is joined before it is answered.
// It serves timers (S5TIME) and counters (BCD) with the S7-300/400 codes, the periphery, special
// memory and analog words; as an S7-200 SMART (setFamily) it takes the S7-200 codes for timers
// and counters instead, in records of 5 (or 3) bytes, refuses the S7-300/400 ones with 0x03 and
// has no periphery. Timer S7Jobs::WrongRecordTimer answers with 4-byte records (a fault).
#ifndef S7SERVER_H
#define S7SERVER_H

#include <QByteArray>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <memory>
#include <vector>

#include "S7Jobs.h"

class ChaosPlan;
class PlcMemory;
class QTcpServer;

class S7Server : public QObject
{
    Q_OBJECT
public:
    enum FaultBlock {
        LateAnswerDb = 60001,
        SplitAnswerDb = 60002,
        StrayThenAnswerDb = 60003,
        AnswerThenDuplicateDb = 60004,
        WrongReferenceDb = 60005,
        HeaderErrorDb = 60006,
        CloseConnectionDb = 60007,
        SilentDb = 60008,
        IncompleteAnswerDb = 60009,
        BrokenLengthDb = 60010,
        LateSplitAnswerDb = 60011,
        WindowClosedDb = 60012,
        FloodThenAnswerDb = 60013,
        FailingRangeDb = 60014,
        EarlierThenAnswerDb = 60021,
        FastAcknowledgeDb = 60022,
        FragmentedAnswerDb = 60023,
        LateRestDb = 60024,
        NotS7Db = 60025,
        NotS7ThenAnswerDb = 60026,
        AnswerThenCloseDb = 60027
    };
    static constexpr int FragmentBytes = 10;
    static constexpr int FailingByte = 1000;
    enum class Refusal { None, ConnectionRequest, Setup };
    static constexpr int DefaultPduSize = 960;
    static constexpr int LateAnswerMs = 2500;
    static constexpr int SplitPauseMs = 40;
    static constexpr int LateSplitPauseMs = 300;
    static constexpr int FloodBytes = 1 << 20;

    explicit S7Server(PlcMemory *memory, QObject *parent = nullptr);
    ~S7Server() override;

    // Listens on 127.0.0.1 (0: any free port). Call on the thread the server lives in.
    bool listen(quint16 port);
    quint16 serverPort() const;

    // Both may be called from any thread.
    void setRefusal(Refusal refusal);
    Refusal refusal() const;
    // Call before serving: from then on job answers draw their faults from `plan`.
    void setChaos(const ChaosPlan &plan);
    static bool isFaultBlock(int dbNumber);
    // A fault block number for the next answer under chaos, or 0 for a plain answer.
    int chaosFault();

    // The largest PDU the set-up grants and a job may have (what a PLC's CPU allows).
    void setPduSize(int bytes);
    int pduSize() const;
    // Field habits (see above), from any thread; -1 / 0 / false: off. A data unit larger than
    // the TPDU size confirmed closes the connection, as a PLC's transport layer does.
    void setRemoteTsap(int tsap) { acceptedTsap = tsap; }
    int remoteTsap() const { return acceptedTsap; }
    void setTpduSize(int bytes) { tpduBytes = bytes; }
    int tpduSize() const { return tpduBytes; }
    void setFastAcknowledge(bool on) { fastAck = on; }
    bool fastAcknowledge() const { return fastAck; }
    // As an S7-200 SMART (recordBytes 3 or 5) or an S7-300/400 (S7Jobs::Family), from any thread.
    void setFamily(bool s7_200, int recordBytes = 5) { family200 = s7_200; familyRecords = recordBytes; }
    S7Jobs::Family family() const
    {
        return family200 ? S7Jobs::Family::s7_200Records(familyRecords) : S7Jobs::Family::s7_300();
    }
    void setPutGetRefused(bool on) { putGetRefused = on; }
    bool refusesPutGet() const { return putGetRefused; }
    // Empty: every block exists. Call on the server's thread.
    void setDataBlocks(const std::vector<int> &blocks) { dataBlocks = blocks; }
    bool hasDataBlock(int dbNumber) const;
    // Connections accepted since the server started.
    int connectionCount() const { return connectionsAccepted.load(); }
    // Read and write jobs received since the server started (for tests that count jobs).
    int jobCount() const;
    // The last read or write job frame received, as it came (whole TPKT).
    QByteArray lastJob() const;

    // Used by the connections.
    PlcMemory *memory() const { return plcMemory; }
    void recordJob(const QByteArray &frame);

private:
    void acceptConnections();

    PlcMemory *plcMemory;
    QTcpServer *server;
    std::atomic<int> refusalMode{int(Refusal::None)};
    std::atomic<int> pduBytes{DefaultPduSize};
    std::atomic<int> jobsReceived{0};
    std::atomic<int> connectionsAccepted{0};
    mutable QMutex jobMutex;
    QByteArray lastJobFrame;
    std::unique_ptr<ChaosPlan> chaos;
    std::atomic<int> acceptedTsap{-1};
    std::atomic<int> tpduBytes{0};
    std::atomic<bool> fastAck{false};
    std::atomic<bool> putGetRefused{false};
    std::atomic<bool> family200{false};
    std::atomic<int> familyRecords{5};
    std::vector<int> dataBlocks;
};

#endif // S7SERVER_H
