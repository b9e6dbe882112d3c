#include "CallSummary.h"

#include <QStringList>

#include <algorithm>

#include "ValueText.h"

void CallStats::record(int resultCode, qint64 nanoseconds)
{
    ++codes[resultCode];
    times.append(nanoseconds);
}

qint64 CallStats::minimum() const
{
    return times.isEmpty() ? 0 : *std::min_element(times.cbegin(), times.cend());
}

qint64 CallStats::maximum() const
{
    return times.isEmpty() ? 0 : *std::max_element(times.cbegin(), times.cend());
}

qint64 CallStats::median() const
{
    if (times.isEmpty())
        return 0;
    QVector<qint64> sorted = times;
    const int mid = sorted.size() / 2;
    std::nth_element(sorted.begin(), sorted.begin() + mid, sorted.end());
    const qint64 upper = sorted.at(mid);
    if (sorted.size() % 2 != 0)
        return upper;
    const qint64 lower = *std::max_element(sorted.cbegin(), sorted.cbegin() + mid);
    return lower + (upper - lower) / 2;
}

namespace {

QString milliseconds(qint64 ns)
{
    return QString::number(double(ns) / 1e6, 'f', 3);
}

QString resultsText(const QMap<int, int> &counts)
{
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts << QStringLiteral("%1 %2: %3").arg(it.key()).arg(ValueText::resultName(it.key())).arg(it.value());
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QStringLiteral(", "));
}

} // namespace

QString summaryText(const QVector<CallStats> &stats, const RunTotals &totals)
{
    QString text;
    const QString rounds = totals.roundsDone == totals.roundsAsked
        ? QStringLiteral("%1 rounds").arg(totals.roundsDone)
        : QStringLiteral("%1 of %2 rounds (interrupted)").arg(totals.roundsDone).arg(totals.roundsAsked);
    text += QStringLiteral("summary  %1 in %2 s, interval %3 ms\n")
                .arg(rounds, QString::number(double(totals.elapsedMs) / 1000.0, 'f', 2))
                .arg(totals.intervalMs);

    int labelWidth = 9;    // "operation"
    for (const CallStats &s : stats)
        labelWidth = std::max(labelWidth, int(s.label().size()));
    text += QStringLiteral("%1 %2 %3 %4 %5  results\n")
                .arg(QStringLiteral("operation"), -labelWidth)
                .arg(QStringLiteral("calls"), 8)
                .arg(QStringLiteral("min ms"), 10)
                .arg(QStringLiteral("median ms"), 10)
                .arg(QStringLiteral("max ms"), 10);

    qint64 calls = 0;
    qint64 failed = 0;
    for (const CallStats &s : stats) {
        text += QStringLiteral("%1 %2 %3 %4 %5  %6\n")
                    .arg(s.label(), -labelWidth)
                    .arg(s.calls(), 8)
                    .arg(milliseconds(s.minimum()), 10)
                    .arg(milliseconds(s.median()), 10)
                    .arg(milliseconds(s.maximum()), 10)
                    .arg(resultsText(s.resultCounts()));
        calls += s.calls();
        failed += s.failed();
    }
    if (failed == 0)
        text += QStringLiteral("all %1 calls succeeded\n").arg(calls);
    else
        text += QStringLiteral("%1 of %2 calls failed\n").arg(failed).arg(calls);
    return text;
}
