// The PPI line receiver against a fake medium: bytes delivered in timed pieces, the idle wait's
// verdict, and the frames taken off the front (the stall rule drops a start that never finished).
// Each row runs twice, once for each verdict, from a fresh line.
#include <QtTest>

#include "PpiLineReceiver.h"
#include "PpiMedium.h"

namespace {

constexpr int IdleWaitMs = 200;     // within the trickle of the slow frame, past every stall
constexpr int FrameWaitMs = 500;    // past the last piece of every row

// Delivers "ms:hex" pieces at their times (those at 0 are there at once) and reports each.
class FakeLine final : public PpiMedium
{
public:
    explicit FakeLine(const QStringList &pieces)
    {
        for (const QString &piece : pieces) {
            const int ms = piece.section(':', 0, 0).toInt();
            const QByteArray bytes = QByteArray::fromHex(piece.section(':', 1).toLatin1());
            if (ms == 0)
                arrived += bytes;
            else
                QTimer::singleShot(ms, Qt::PreciseTimer, &timers, [this, bytes] {
                    arrived += bytes;
                    report(Event::Bytes);
                });
        }
    }

    QString name() const override { return QStringLiteral("fake"); }
    bool isUp() const override { return true; }
    void send(const QByteArray &) override {}
    Outcome receive(QByteArray &into, int) override
    {
        if (arrived.isEmpty())
            return Outcome::Nothing;
        into += arrived;
        arrived.clear();
        return Outcome::Received;
    }
    bool peerClosed() const override { return false; }
    void close() override {}
    void leave(int) override {}
    int lineTimeMs(int) const override { return 0; }
    qint64 idleTimeNs() const override { return idleTimeNsAt(GatewayIdleBaud); }

private:
    QObject timers;
    QByteArray arrived;
};

} // namespace

class TestPpiLineReceiver : public QObject
{
    Q_OBJECT
private slots:
    void framesOffTheLine_data();
    void framesOffTheLine();
};

void TestPpiLineReceiver::framesOffTheLine_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<bool>("idle");
    QTest::addColumn<QStringList>("frames");
    const QString poll = QStringLiteral("1002005c5e16");
    // A write job of 38 bytes, 2 of them every 20 ms: slower than the idle wait, never stalled.
    const QString write = QStringLiteral("6820206802007c320100000000000e00050501120a1002000100018400032000040008550216");
    QStringList trickle;
    for (int i = 0; i < write.size(); i += 4)
        trickle << QStringLiteral("%1:%2").arg(i * 5).arg(write.mid(i, 4));

    QTest::newRow("whole frame") << QStringList{"0:" + poll} << true << QStringList{poll};
    QTest::newRow("last byte late") << QStringList{"0:1002005c5e", "40:16"} << true << QStringList{poll};
    QTest::newRow("pieces") << QStringList{"0:1002", "30:005c", "60:5e16"} << true << QStringList{poll};
    QTest::newRow("junk, acks and a frame at once")
        << QStringList{"0:ff00e5" + poll + "e5"} << true << QStringList{"e5", poll, "e5"};
    QTest::newRow("stalled start before idle")
        << QStringList{"0:68202068", "150:" + poll} << true << QStringList{poll};
    QTest::newRow("stalled start between frames")
        << QStringList{"0:" + poll, "60:68202068", "200:e5"} << true << QStringList{poll, "e5"};
    QTest::newRow("slow frame") << trickle << false << QStringList{write};
}

void TestPpiLineReceiver::framesOffTheLine()
{
    QFETCH(QStringList, pieces);
    // Each check on a line of its own, from the first piece on.
    struct Line {
        FakeLine medium;
        PpiLineReceiver receiver;
        explicit Line(const QStringList &pieces) : medium(pieces)
        {
            receiver.setMedium(&medium);
            medium.setListener([this](PpiMedium::Event, const QString &) { receiver.bytesCame(); });
            receiver.lineOpened();
        }
    };
    {
        Line line(pieces);
        QTEST(line.receiver.awaitIdleLine(QDeadlineTimer(IdleWaitMs), false), "idle");
    }
    Line line(pieces);
    QStringList taken;
    for (QByteArray f; !(f = line.receiver.nextFrame(QDeadlineTimer(FrameWaitMs))).isEmpty();)
        taken << QString::fromLatin1(f.toHex());
    QTEST(taken, "frames");
}

QTEST_GUILESS_MAIN(TestPpiLineReceiver)
#include "tst_ppi_line_receiver.moc"
