#include "ChaosPlan.h"

#include <cmath>

ChaosPlan::ChaosPlan(quint64 seed, double rate, int stream)
    : state(seed ^ (0x9E3779B97F4A7C15ull * quint64(stream + 1))),
      faultRate(std::isfinite(rate) ? qBound(0.0, rate, 1.0) : 0.0),
      threshold(quint64(std::llround(faultRate * 4294967296.0)))
{
}

// splitmix64: small, fast, and the same on every platform.
quint64 ChaosPlan::next()
{
    quint64 z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int ChaosPlan::draw(const std::vector<int> &faults)
{
    // Two draws per answer whatever the outcome, so the sequence does not depend on the list.
    const quint64 chance = next() >> 32;
    const quint64 pick = next();
    if (faults.empty() || chance >= threshold)
        return 0;
    return faults[size_t(pick % faults.size())];
}

bool ChaosPlan::parseRate(const QString &text, double *rate)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0 || value > 1.0)
        return false;
    *rate = value;
    return true;
}

bool ChaosPlan::parseSeed(const QString &text, quint64 *seed)
{
    bool ok = false;
    const quint64 value = text.toULongLong(&ok, 10);
    if (!ok)
        return false;
    *seed = value;
    return true;
}
