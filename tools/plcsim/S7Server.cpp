#include "S7Server.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <deque>

#include "ByteOrder.h"
#include "ChaosPlan.h"
#include "PlcMemory.h"
#include "S7ConnectionFrames.h"
#include "S7Jobs.h"

using namespace S7ConnectionFrames;

// One client connection: reassembles TPKTs, answers them in order through a queue that lets an
// answer be held back (a late answer delays those behind it, as on a real PLC).
class S7Connection : public QObject
{
public:
    S7Connection(S7Server *server, QTcpSocket *socket)
        : QObject(server), server(server), socket(socket)
    {
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        clock.start();
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, &S7Connection::sendDue);
        reading = connect(socket, &QTcpSocket::readyRead, this, &S7Connection::receive);
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

private:
    struct Outgoing {
        qint64 due;
        QByteArray bytes;
        bool close;
    };

    void receive()
    {
        buffer.append(socket->readAll());
        QByteArray frame;
        for (;;) {
            const Take taken = takeFrame(&buffer, &frame);
            if (taken == Take::NeedMore)
                return;
            if (taken == Take::Broken) {
                drop();
                return;
            }
            handle(frame);
        }
    }

    void stopReading()
    {
        // Qt stops reading once its buffer holds this much; the kernel's small buffer then fills
        // and the window the client sees closes.
        disconnect(reading);
        socket->setReadBufferSize(1);
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    }

    void drop()
    {
        buffer.clear();
        socket->abort();
    }

    void handle(const QByteArray &frame)
    {
        const int type = ByteOrder::u8(frame, 5);
        if (type == 0xE0 && frame.size() >= 11) {
            if (server->refusal() == S7Server::Refusal::ConnectionRequest) {
                queue(0, disconnectRequest());
                return;
            }
            // A PLC set up for other TSAPs closes the connection without a word.
            if (server->remoteTsap() >= 0 && requestParameter(frame, 0xC2) != server->remoteTsap()) {
                queueClose(0);
                return;
            }
            connected = true;
            queue(0, connectionConfirm(frame, server->tpduSize()));
        } else if (type == 0xF0 && frame.size() >= TpktHeader + CotpDataHeader && connected) {
            if (server->tpduSize() > 0 && frame.size() - TpktHeader > server->tpduSize()) {
                drop();
                return;
            }
            pendingPdu += frame.mid(TpktHeader + CotpDataHeader);
            // A request that grows past any PDU the set-up can grant is no request.
            if (pendingPdu.size() > S7Server::DefaultPduSize) {
                drop();
                return;
            }
            if (!endsTsdu(frame))
                return;
            const QByteArray pdu = pendingPdu;
            pendingPdu.clear();
            if (!pdu.isEmpty())
                handleJob(dataFrame(pdu), pdu);
        } else if (type == 0x80) {
            queueClose(0);
        }
    }

    void handleJob(const QByteArray &frame, const QByteArray &pdu)
    {
        const S7Jobs::Job job = S7Jobs::inspect(pdu);
        if (job.function == 0xF0 && server->refusal() == S7Server::Refusal::Setup) {
            queue(0, disconnectRequest());
            return;
        }
        if (job.valid)
            server->recordJob(frame);
        const int baseFault = job.valid && job.area == 0x84 ? job.dbNumber : 0;
        QByteArray answerPdu;
        if (job.valid && server->refusesPutGet())
            answerPdu = S7Jobs::errorAck(job.reference, job.function == 0x05 ? 0x83 : 0x81, 0x04);
        else
            answerPdu = S7Jobs::answer(server->memory(), pdu, server->pduSize(), S7Jobs::Setup::Answered,
                                       refusedItem(job, pdu), server->family());
        if (answerPdu.isEmpty())
            return;
        int fault = baseFault;
        if (job.valid && !S7Server::isFaultBlock(fault))
            fault = server->chaosFault();
        answerWithFault(fault, job, answerPdu);
    }

    // The code a job's item is refused with whatever the memory holds: a data block this PLC
    // lacks, or the failing byte of the fault block that has one.
    int refusedItem(const S7Jobs::Job &job, const QByteArray &pdu) const
    {
        if (!job.valid || job.area != 0x84)
            return S7Jobs::ItemOk;
        if (!S7Server::isFaultBlock(job.dbNumber) && !server->hasDataBlock(job.dbNumber))
            return S7Jobs::ItemObjectMissing;
        if (job.dbNumber == S7Server::FailingRangeDb && S7Jobs::holdsByte(pdu, S7Server::FailingByte))
            return S7Jobs::ItemAddressOutOfRange;
        return S7Jobs::ItemOk;
    }

    // Sends the answer of a job as the fault block says.
    void answerWithFault(int fault, const S7Jobs::Job &job, const QByteArray &answerPdu)
    {
        const QByteArray answer = (server->fastAcknowledge() ? fastAcknowledge() : QByteArray())
            + (server->tpduSize() > 0 ? dataUnits(answerPdu, server->tpduSize()) : dataFrame(answerPdu));
        const quint16 otherReference = quint16(job.reference ^ 0x5A5A);
        const QByteArray earlier = lastAnswer;
        lastAnswer = answer;
        switch (fault) {
        case S7Server::LateAnswerDb:
            queue(S7Server::LateAnswerMs, answer);
            break;
        case S7Server::SplitAnswerDb:
            queue(0, answer.left(2));
            queue(S7Server::SplitPauseMs, answer.mid(2, 5));
            queue(S7Server::SplitPauseMs, answer.mid(7));
            break;
        case S7Server::StrayThenAnswerDb:
            queue(0, dataFrame(S7Jobs::withReference(answerPdu, otherReference)) + answer);
            break;
        case S7Server::AnswerThenDuplicateDb:
            queue(0, answer + answer);
            break;
        case S7Server::WrongReferenceDb:
            queue(0, dataFrame(S7Jobs::withReference(answerPdu, otherReference)));
            break;
        case S7Server::HeaderErrorDb:
            queue(0, dataFrame(S7Jobs::errorAck(job.reference, 0x81, 0x04)));
            break;
        case S7Server::CloseConnectionDb:
            queueClose(0);
            break;
        case S7Server::SilentDb:
            break;
        case S7Server::IncompleteAnswerDb:
            queue(0, answer.left(answer.size() / 2));
            break;
        case S7Server::BrokenLengthDb:
            queue(0, QByteArray::fromHex("03000003") + answer.mid(4));
            break;
        case S7Server::FastAcknowledgeDb:
            queue(0, fastAcknowledge() + answer);
            break;
        case S7Server::FragmentedAnswerDb:
            queue(0, dataUnits(answerPdu, S7Server::FragmentBytes + CotpDataHeader));
            break;
        case S7Server::LateRestDb: {
            const QByteArray units = dataUnits(answerPdu, S7Server::FragmentBytes + CotpDataHeader);
            const int half = units.size() / 2;
            queue(0, units.left(half));
            queue(S7Server::LateAnswerMs, units.mid(half));
            queue(S7Server::LateAnswerMs + S7Server::LateSplitPauseMs, QByteArray());
            break;
        }
        case S7Server::NotS7Db:
            queue(0, notS7(answerPdu));
            break;
        case S7Server::NotS7ThenAnswerDb:
            queue(0, notS7(answerPdu) + answer);
            break;
        case S7Server::AnswerThenCloseDb:
            queue(0, answer);
            queueClose(0);
            break;
        case S7Server::EarlierThenAnswerDb:
            queue(0, earlier + answer);
            break;
        case S7Server::LateSplitAnswerDb:
            queue(S7Server::LateAnswerMs, answer.left(answer.size() / 2));
            queue(S7Server::LateAnswerMs + S7Server::LateSplitPauseMs, answer.mid(answer.size() / 2));
            break;
        case S7Server::WindowClosedDb:
            queue(0, answer);
            stopReading();
            break;
        case S7Server::FloodThenAnswerDb: {
            const QByteArray stray = dataFrame(S7Jobs::withReference(answerPdu, otherReference));
            QByteArray flood;
            flood.reserve(S7Server::FloodBytes + stray.size() + answer.size());
            while (flood.size() < S7Server::FloodBytes)
                flood.append(stray);
            queue(0, flood + answer);
            break;
        }
        default:
            queue(0, answer);
            break;
        }
    }

    // The answer's PDU under another protocol id: the length and place of an answer, and no S7.
    static QByteArray notS7(QByteArray pdu)
    {
        pdu[0] = char(0x31);
        return dataFrame(pdu);
    }

    // Answers leave in order: each one no earlier than `delayMs` from now, nor before the one
    // queued in front of it.
    void queue(int delayMs, const QByteArray &bytes, bool close = false)
    {
        qint64 due = clock.elapsed() + delayMs;
        if (!outgoing.empty() && outgoing.back().due > due)
            due = outgoing.back().due;
        outgoing.push_back({due, bytes, close});
        sendDue();
    }

    void queueClose(int delayMs) { queue(delayMs, QByteArray(), true); }

    void sendDue()
    {
        while (!outgoing.empty() && outgoing.front().due <= clock.elapsed()) {
            const Outgoing next = outgoing.front();
            outgoing.pop_front();
            if (next.bytes.isEmpty() && !next.close)
                continue;       // a pause only: what is queued behind it waits for it
            if (next.close) {
                outgoing.clear();
                socket->disconnectFromHost();
                return;
            }
            socket->write(next.bytes);
            socket->flush();
        }
        if (!outgoing.empty())
            timer.start(int(qMax<qint64>(0, outgoing.front().due - clock.elapsed())));
    }

    S7Server *server;
    QTcpSocket *socket;
    QByteArray buffer;
    QByteArray lastAnswer;      // the previous job's answer, for the fault that repeats it
    QByteArray pendingPdu;      // the units of a request so far, until the one that ends it
    QMetaObject::Connection reading;
    bool connected = false;
    std::deque<Outgoing> outgoing;
    QElapsedTimer clock;
    QTimer timer;
};

S7Server::S7Server(PlcMemory *memory, QObject *parent)
    : QObject(parent), plcMemory(memory), server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &S7Server::acceptConnections);
}

S7Server::~S7Server() = default;

void S7Server::setChaos(const ChaosPlan &plan)
{
    chaos = std::make_unique<ChaosPlan>(plan);
}

bool S7Server::isFaultBlock(int dbNumber)
{
    return (dbNumber >= LateAnswerDb && dbNumber <= FailingRangeDb)
        || (dbNumber >= EarlierThenAnswerDb && dbNumber <= AnswerThenCloseDb);
}

bool S7Server::hasDataBlock(int dbNumber) const
{
    return dataBlocks.empty() || std::find(dataBlocks.begin(), dataBlocks.end(), dbNumber) != dataBlocks.end();
}

int S7Server::chaosFault()
{
    static const std::vector<int> faults = {
        LateAnswerDb, SplitAnswerDb, StrayThenAnswerDb, AnswerThenDuplicateDb, WrongReferenceDb,
        HeaderErrorDb, CloseConnectionDb, SilentDb, IncompleteAnswerDb, BrokenLengthDb,
        LateSplitAnswerDb, EarlierThenAnswerDb, FastAcknowledgeDb, FragmentedAnswerDb, LateRestDb,
        NotS7Db, NotS7ThenAnswerDb, AnswerThenCloseDb};
    return chaos ? chaos->draw(faults) : 0;
}

bool S7Server::listen(quint16 port)
{
    return server->listen(QHostAddress::LocalHost, port);
}

quint16 S7Server::serverPort() const
{
    return server->serverPort();
}

void S7Server::setRefusal(Refusal refusal)
{
    refusalMode.store(int(refusal));
}

S7Server::Refusal S7Server::refusal() const
{
    return Refusal(refusalMode.load());
}

void S7Server::setPduSize(int bytes)
{
    pduBytes.store(bytes);
}

int S7Server::pduSize() const
{
    return pduBytes.load();
}

int S7Server::jobCount() const
{
    return jobsReceived.load();
}

QByteArray S7Server::lastJob() const
{
    QMutexLocker lock(&jobMutex);
    return lastJobFrame;
}

void S7Server::recordJob(const QByteArray &frame)
{
    ++jobsReceived;
    QMutexLocker lock(&jobMutex);
    lastJobFrame = frame;
}

void S7Server::acceptConnections()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        ++connectionsAccepted;
        new S7Connection(this, socket);
    }
}
