// Runs drvhost's reads and writes on a connected driver, round after round, timing every call.
#ifndef CALLRUN_H
#define CALLRUN_H

#include <QElapsedTimer>
#include <QList>
#include <QTextStream>
#include <QVector>

#include <atomic>

#include "CallSummary.h"
#include "CommandLine.h"

class CDriveBaseClass;

struct RunSettings {
    int rounds = 1;
    int intervalMs = 0;          // pause between rounds; the thread's events are served meanwhile
    bool printFirstRound = true; // one line per call of the first round
    bool progress = false;       // a progress line, rewritten in place (for a terminal)
};

class CallRun
{
public:
    CallRun(CDriveBaseClass *driver, const QList<Operation> &operations, QTextStream &out);

    // Returns the number of whole rounds done. Stops early, between two calls, once *stop is true.
    int run(const RunSettings &settings, const std::atomic<bool> *stop = nullptr);

    const QVector<CallStats> &stats() const { return perOperation; }
    int failedCalls() const;

private:
    void call(int index, bool print);
    void waitBetweenRounds(int intervalMs, const std::atomic<bool> *stop);
    void showProgress(int round, int rounds, bool force);
    void clearProgress();

    CDriveBaseClass *driver;
    QList<Operation> operations;
    QTextStream &out;
    QVector<CallStats> perOperation;
    QElapsedTimer progressClock;
    qint64 lastProgressMs = -1;
    int progressWidth = 0;
};

#endif // CALLRUN_H
