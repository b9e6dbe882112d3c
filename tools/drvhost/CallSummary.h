// What drvhost --repeat found out about each operation, and the table it prints at the end.
#ifndef CALLSUMMARY_H
#define CALLSUMMARY_H

#include <QMap>
#include <QString>
#include <QVector>

// The calls of one operation: how many, which result codes, and how long each call blocked.
class CallStats
{
public:
    explicit CallStats(const QString &label = QString()) : name(label) {}

    void record(int resultCode, qint64 nanoseconds);

    QString label() const { return name; }
    int calls() const { return int(times.size()); }
    int failed() const { return calls() - codes.value(0); }
    // Result code -> number of calls that ended with it, in ascending code order.
    const QMap<int, int> &resultCounts() const { return codes; }
    // Call times in nanoseconds; 0 when there were no calls. The median of an even number of
    // calls is the mean of the two middle ones.
    qint64 minimum() const;
    qint64 median() const;
    qint64 maximum() const;

private:
    QString name;
    QMap<int, int> codes;
    QVector<qint64> times;
};

struct RunTotals {
    int roundsAsked = 0;
    int roundsDone = 0;
    int intervalMs = 0;
    qint64 elapsedMs = 0;
};

// The summary table: one row per operation with calls, min / median / max call time in
// milliseconds and each result code with its count, then one line with the failed calls.
QString summaryText(const QVector<CallStats> &stats, const RunTotals &totals);

#endif // CALLSUMMARY_H
