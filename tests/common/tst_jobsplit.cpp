// Splitting a range into jobs: adjacent, non-overlapping pieces that cover it exactly.
#include <QtTest>

#include "JobSplit.h"

namespace {

// "offset+length" for each piece, so a table row reads like the ranges on the wire.
QStringList ranges(const QVector<JobSplit::Piece> &pieces)
{
    QStringList out;
    for (const auto &p : pieces)
        out << QStringLiteral("%1+%2").arg(p.offset).arg(p.length);
    return out;
}

} // namespace

class TstJobSplit : public QObject
{
    Q_OBJECT
private slots:
    void pieces_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing: still one job") << 0 << 222 << QStringList{"0+0"};
        QTest::newRow("one byte") << 1 << 222 << QStringList{"0+1"};
        QTest::newRow("at capacity") << 222 << 222 << QStringList{"0+222"};
        QTest::newRow("capacity + 1") << 223 << 222 << QStringList{"0+222", "222+1"};
        QTest::newRow("500 at 222") << 500 << 222 << QStringList{"0+222", "222+222", "444+56"};
        QTest::newRow("two full jobs") << 424 << 212 << QStringList{"0+212", "212+212"};
        QTest::newRow("capacity 1") << 3 << 1 << QStringList{"0+1", "1+1", "2+1"};
        QTest::newRow("capacity unknown") << 4000 << 0 << QStringList{"0+4000"};
        QTest::newRow("negative total") << -5 << 222 << QStringList{"0+0"};
    }
    void pieces()
    {
        QFETCH(int, total);
        QFETCH(int, capacity);
        QFETCH(QStringList, expected);
        QCOMPARE(ranges(JobSplit::pieces(total, capacity)), expected);
    }

    // The largest read at the smallest usual grant: every byte exactly once, in order.
    void largestRangeIsCoveredOnce()
    {
        const auto pieces = JobSplit::pieces(65535, 222);
        QCOMPARE(pieces.size(), 296);      // 295 full jobs and 45 bytes
        int next = 0;
        for (const auto &p : pieces) {
            QCOMPARE(p.offset, next);
            QVERIFY(p.length > 0 && p.length <= 222);
            next += p.length;
        }
        QCOMPARE(next, 65535);
    }

    void runStopsAtTheFirstFailure()
    {
        QStringList done;
        const int result = JobSplit::run(500, 222, [&](int offset, int length) {
            done << QStringLiteral("%1+%2").arg(offset).arg(length);
            return offset == 222 ? -2 : 0;
        });
        QCOMPARE(result, -2);
        QCOMPARE(done, (QStringList{"0+222", "222+222"}));
        QCOMPARE(JobSplit::run(500, 222, [](int, int) { return 0; }), 0);
    }
};

QTEST_MAIN(TstJobSplit)
#include "tst_jobsplit.moc"
