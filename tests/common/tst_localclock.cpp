// Result time stamps against Qt's own local time: the same instant, the same local date and time,
// the same daylight-saving status, in zones with and without daylight saving, and across the
// hours in which the offset changes.
#include <QtTest>

#include <algorithm>
#include <ctime>
#include <random>

#include "LocalClock.h"

namespace {

// Sets the process's zone for the duration of a test.
class ZoneSetting
{
public:
    explicit ZoneSetting(const QByteArray &tz) : saved(qgetenv("TZ")), hadTz(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", tz);
        tzset();
    }
    ~ZoneSetting()
    {
        if (hadTz)
            qputenv("TZ", saved);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray saved;
    bool hadTz;
};

// Everything of a stamp a host can look at, as text.
QString described(const QDateTime &t)
{
    return QStringLiteral("%1 spec %2 offset %3 dst %4 epoch %5")
        .arg(t.toString(Qt::ISODateWithMs))
        .arg(int(t.timeSpec()))
        .arg(t.offsetFromUtc())
        .arg(t.isDaylightTime())
        .arg(t.toMSecsSinceEpoch());
}

} // namespace

class TestLocalClock : public QObject
{
    Q_OBJECT
private slots:
    void nowIsCurrentLocalTime_data();
    void nowIsCurrentLocalTime();
    void acrossOffsetChanges_data();
    void acrossOffsetChanges();
};

void TestLocalClock::nowIsCurrentLocalTime_data()
{
    QTest::addColumn<QByteArray>("tz");
    QTest::newRow("UTC") << QByteArray("UTC0");
    QTest::newRow("fixed +05:45") << QByteArray("<+0545>-5:45");
    QTest::newRow("fixed -03:30") << QByteArray("<-0330>3:30");
    QTest::newRow("Central Europe") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3");
    QTest::newRow("south-eastern Australia") << QByteArray("AEST-10AEDT,M10.1.0,M4.1.0/3");
}

void TestLocalClock::nowIsCurrentLocalTime()
{
    QFETCH(QByteArray, tz);
    const ZoneSetting zone(tz);
    LocalClock clock;
    for (int i = 0; i < 50; ++i) {
        const QDateTime before = QDateTime::currentDateTime();
        const QDateTime stamp = clock.now();
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY2(before <= stamp && stamp <= after,
                 qPrintable(described(before) + " / " + described(stamp) + " / " + described(after)));
        // The same instant as Qt's local time describes it, in every respect a host can see.
        QCOMPARE(described(stamp), described(QDateTime::fromMSecsSinceEpoch(stamp.toMSecsSinceEpoch())));
        QCOMPARE(stamp.timeSpec(), Qt::LocalTime);
    }
}

void TestLocalClock::acrossOffsetChanges_data()
{
    QTest::addColumn<QByteArray>("tz");
    QTest::addColumn<QDateTime>("change");      // the instant the offset changes
    const QByteArray europe("CET-1CEST,M3.5.0,M10.5.0/3");
    const QByteArray australia("AEST-10AEDT,M10.1.0,M4.1.0/3");
    QTest::newRow("Europe, clocks forward") << europe << QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC);
    QTest::newRow("Europe, clocks back") << europe << QDateTime(QDate(2026, 10, 25), QTime(1, 0), Qt::UTC);
    QTest::newRow("Australia, clocks back") << australia << QDateTime(QDate(2026, 4, 4), QTime(16, 0), Qt::UTC);
    QTest::newRow("Australia, clocks forward") << australia << QDateTime(QDate(2026, 10, 3), QTime(16, 0), Qt::UTC);
}

void TestLocalClock::acrossOffsetChanges()
{
    QFETCH(QByteArray, tz);
    QFETCH(QDateTime, change);
    const ZoneSetting zone(tz);
    const qint64 at = change.toMSecsSinceEpoch();
    // The zone really changes its offset there, or the rows test nothing.
    QVERIFY(QDateTime::fromMSecsSinceEpoch(at - 1).offsetFromUtc()
            != QDateTime::fromMSecsSinceEpoch(at).offsetFromUtc());

    LocalClock clock;
    // From six hours before to six hours after, in steps that land on no round time, and the
    // milliseconds right at the change; in a scrambled order (a host's clock may be set back),
    // after a first stamp far from the change.
    QList<qint64> instants = {at - 1000, at - 1, at, at + 1, at + 999, at + 1000, at, at - 1, at - 1, at};
    for (qint64 t = at - 6 * 3600 * 1000; t <= at + 6 * 3600 * 1000; t += 433 * 1000 + 7)
        instants.append(t);
    std::mt19937 scramble(11);
    std::shuffle(instants.begin(), instants.end(), scramble);
    instants.prepend(at - 12 * 3600 * 1000);
    // All stamps first: a conversion by Qt in between would leave the C library's hint for an
    // ambiguous local time at just the right offset.
    QList<QDateTime> stamps;
    for (const qint64 t : instants)
        stamps.append(clock.at(t));
    for (int i = 0; i < instants.size(); ++i)
        QCOMPARE(described(stamps.at(i)), described(QDateTime::fromMSecsSinceEpoch(instants.at(i))));
}

QTEST_GUILESS_MAIN(TestLocalClock)
#include "tst_localclock.moc"
