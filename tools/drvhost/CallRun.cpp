#include "CallRun.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <algorithm>

#include "CDriveBaseClass.h"
#include "S7Refusal.h"
#include "ValueText.h"

namespace {

// A progress line is rewritten at most this often, so a fast link is not slowed by the terminal.
constexpr qint64 ProgressEveryMs = 200;
// Ctrl-C is noticed within this time during a long interval.
constexpr int IntervalSliceMs = 100;

bool stopped(const std::atomic<bool> *stop)
{
    return stop && stop->load();
}

// The plug-ins tell why a PLC refused a variable only in their warning lines: while a call runs,
// its warnings are kept (and still printed) so that its result line can name the reason.
QStringList *callWarnings = nullptr;
QtMessageHandler previousHandler = nullptr;

void keepWarning(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (callWarnings && type == QtWarningMsg)
        callWarnings->append(text);
    if (previousHandler)
        previousHandler(type, context, text);
}

QString refusalOf(const QStringList &warnings)
{
    for (const QString &line : warnings) {
        const QString reason = S7Refusal::describe(S7Refusal::fromWarning(line));
        if (!reason.isEmpty())
            return reason;
    }
    return QString();
}

} // namespace

CallRun::CallRun(CDriveBaseClass *driver, const QList<Operation> &operations, QTextStream &out)
    : driver(driver), operations(operations), out(out)
{
    for (const Operation &op : operations)
        perOperation.append(CallStats(op.label()));
}

int CallRun::failedCalls() const
{
    int failed = 0;
    for (const CallStats &s : perOperation)
        failed += s.failed();
    return failed;
}

int CallRun::run(const RunSettings &settings, const std::atomic<bool> *stop)
{
    int done = 0;
    for (int round = 1; round <= settings.rounds; ++round) {
        for (int i = 0; i < operations.size(); ++i) {
            if (stopped(stop))
                break;
            call(i, settings.printFirstRound && round == 1);
        }
        if (stopped(stop))
            break;
        done = round;
        if (settings.progress)
            showProgress(round, settings.rounds, round == settings.rounds);
        if (round < settings.rounds)
            waitBetweenRounds(settings.intervalMs, stop);
    }
    if (settings.progress)
        clearProgress();
    return done;
}

void CallRun::call(int index, bool print)
{
    const Operation &op = operations.at(index);
    QElapsedTimer clock;
    clock.start();
    QStringList warnings;
    if (print) {
        callWarnings = &warnings;
        previousHandler = qInstallMessageHandler(keepWarning);
    }
    CLabelVariable r = op.kind == Operation::Read
        ? driver->ReadVariable(op.address, DataType(op.type), op.count)
        : driver->WriteVariable(op.address, DataType(op.type), op.value, op.count);
    perOperation[index].record(r.resultCode, clock.nsecsElapsed());
    if (!print)
        return;
    qInstallMessageHandler(previousHandler);
    callWarnings = nullptr;
    QString resultText = ValueText::resultName(r.resultCode);
    const QString reason = r.resultCode == 0 ? QString() : refusalOf(warnings);
    if (!reason.isEmpty())
        resultText += QStringLiteral(" (%1)").arg(reason);

    // A read shows what came back; a write shows what it wrote.
    const QString shown = op.kind == Operation::Write || r.resultCode == 0
        ? ValueText::formatValues(op.type, r) : QString();
    out << QString::asprintf("%-6s %-14s %-7s x%-3d -> %d %-20s ",
                             op.kind == Operation::Read ? "read" : "write", qPrintable(r.address),
                             qPrintable(ValueText::typeName(r.type)), r.count, r.resultCode,
                             qPrintable(resultText))
        << shown << "\n";
    out.flush();
}

void CallRun::waitBetweenRounds(int intervalMs, const std::atomic<bool> *stop)
{
    // Between two calls a host's event loop runs; the drivers' Qt objects may have events due.
    if (intervalMs <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = intervalMs; left > 0 && !stopped(stop); left = intervalMs - clock.elapsed()) {
        QEventLoop loop;
        QTimer::singleShot(int(std::min<qint64>(left, IntervalSliceMs)), &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void CallRun::showProgress(int round, int rounds, bool force)
{
    if (!progressClock.isValid())
        progressClock.start();
    const qint64 now = progressClock.elapsed();
    if (!force && lastProgressMs >= 0 && now - lastProgressMs < ProgressEveryMs)
        return;
    lastProgressMs = now;
    const QString line = QStringLiteral("round %1 of %2, %3 calls failed").arg(round).arg(rounds).arg(failedCalls());
    progressWidth = std::max(progressWidth, int(line.size()));
    out << '\r' << line.leftJustified(progressWidth);
    out.flush();
}

void CallRun::clearProgress()
{
    if (progressWidth == 0)
        return;
    out << '\r' << QString(progressWidth, QLatin1Char(' ')) << '\r';
    out.flush();
}
