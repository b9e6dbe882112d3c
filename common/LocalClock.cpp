#include "LocalClock.h"

#include <ctime>
#include <mutex>

namespace {

constexpr qint64 MSecsPerSecond = 1000;
constexpr qint64 MSecsPerDay = 86400 * MSecsPerSecond;
constexpr qint64 JulianDayOf1970 = 2440588;
// Daylight saving moves clocks by two hours at most: a local time within this distance of a
// change of offset may be ambiguous or skipped.
constexpr qint64 ChangeMarginSeconds = 3 * 3600;

// The C library's zone data is process-wide: drivers on several threads take turns with it (its
// own lock is invisible to the thread checker, which would report every stamp of two threads).
std::mutex zoneData;

qint64 floorDiv(qint64 a, qint64 b) { return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0); }

// Offset of local time from UTC at `second`, in seconds, from the C library's zone data (which
// Qt's local time uses as well); `ok` false when the C library cannot tell.
long offsetAt(qint64 second, bool *ok)
{
    const time_t t = time_t(second);
    tm local{};
    *ok = qint64(t) == second && localtime_r(&t, &local) != nullptr;
    return *ok ? local.tm_gmtoff : 0;
}

} // namespace

QDateTime LocalClock::now()
{
    return at(QDateTime::currentMSecsSinceEpoch());
}

QDateTime LocalClock::at(qint64 utcMSecs)
{
    // A stamp has millisecond resolution: within one millisecond it is the same value.
    if (utcMSecs == lastMSecs && !lastStamp.isNull())
        return lastStamp;
    const std::lock_guard<std::mutex> lock(zoneData);
    const qint64 second = floorDiv(utcMSecs, MSecsPerSecond);
    if (second != cachedSecond)
        lookUpOffset(second);
    if (nearOffsetChange) {
        lastStamp = QDateTime::fromMSecsSinceEpoch(utcMSecs, Qt::LocalTime);
    } else {
        const qint64 local = utcMSecs + offsetMSecs;
        const qint64 day = floorDiv(local, MSecsPerDay);
        lastStamp = QDateTime(QDate::fromJulianDay(JulianDayOf1970 + day),
                              QTime::fromMSecsSinceStartOfDay(int(local - day * MSecsPerDay)), Qt::LocalTime);
    }
    lastMSecs = utcMSecs;
    return lastStamp;
}

void LocalClock::lookUpOffset(qint64 second)
{
    tzset();    // as Qt does before each conversion: a changed zone setting is taken up
    bool ok = false, okBefore = false, okAfter = false;
    const long offset = offsetAt(second, &ok);
    const long before = offsetAt(second - ChangeMarginSeconds, &okBefore);
    const long after = offsetAt(second + ChangeMarginSeconds, &okAfter);
    cachedSecond = second;
    offsetMSecs = qint64(offset) * MSecsPerSecond;
    nearOffsetChange = !ok || !okBefore || !okAfter || before != offset || after != offset;
}
