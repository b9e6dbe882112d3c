// Time stamps of read and write results: the local date and time, as QDateTime::currentDateTime()
// gives it, for one clock read per call (and nothing more within the same millisecond). The offset from UTC is looked up once per second of UTC
// (the C library's zone data change an offset only at a whole second), instead of a time-zone
// conversion in each direction per call.
//
// A Qt 5 QDateTime in Qt::LocalTime still runs the C library's mktime once when it is built; only
// near a change of offset (a local date and time that may name two instants) does a stamp take the
// slow exact way, so the result is the same instant with the same daylight-saving status.
//
// One clock per facade: it is not shared between threads.
#ifndef LOCALCLOCK_H
#define LOCALCLOCK_H

#include <QDateTime>
#include <QtGlobal>

class LocalClock
{
public:
    QDateTime now();
    // The stamp for `utcMSecs` milliseconds since 1970-01-01T00:00:00Z.
    QDateTime at(qint64 utcMSecs);

private:
    void lookUpOffset(qint64 second);

    qint64 cachedSecond = -1;       // UTC seconds since 1970 whose offset is held; -1 none yet
    qint64 offsetMSecs = 0;         // local time minus UTC
    bool nearOffsetChange = true;   // the offset differs within a few hours either way
    qint64 lastMSecs = 0;
    QDateTime lastStamp;            // the stamp of lastMSecs
};

#endif // LOCALCLOCK_H
