// The faults of `plcsim --chaos SEED`: for every answer the simulator is about to give, with
// probability `rate`, one of the faults it can show on purpose instead of the plain answer.
// The draws come from a generator of our own, so one seed gives the same faults for the same
// sequence of requests on every machine and every build.
#ifndef CHAOSPLAN_H
#define CHAOSPLAN_H

#include <QString>
#include <QtGlobal>

#include <vector>

class ChaosPlan
{
public:
    static constexpr double DefaultRate = 0.05;

    // `stream` tells the plans of one seed apart (the S7 server and the PPI station each draw
    // from their own, so the traffic of one does not change the faults of the other).
    ChaosPlan(quint64 seed, double rate, int stream = 0);

    // 0 (answer plainly) or one of `faults`, each equally likely.
    int draw(const std::vector<int> &faults);

    double rate() const { return faultRate; }

    // Reads a rate text: a number from 0 to 1. False (and *rate unchanged) for anything else.
    static bool parseRate(const QString &text, double *rate);
    // Reads a seed text: a decimal number of up to 64 bits.
    static bool parseSeed(const QString &text, quint64 *seed);

private:
    quint64 next();

    quint64 state;
    double faultRate;
    quint64 threshold;      // a 32-bit draw below this means a fault
};

#endif // CHAOSPLAN_H
