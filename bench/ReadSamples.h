// Wall and CPU time samples of single reads, summarised as median and 90th percentile.
#ifndef READSAMPLES_H
#define READSAMPLES_H

#include <algorithm>
#include <ctime>
#include <vector>

// Microseconds on `clock`: CLOCK_MONOTONIC for wall time, CLOCK_PROCESS_CPUTIME_ID for the CPU
// time of this process (the simulator runs in another one, so it counts the client alone).
inline double microseconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

class ReadSamples
{
public:
    void reserve(size_t n)
    {
        wall.reserve(n);
        cpu.reserve(n);
    }
    void add(double wallUs, double cpuUs)
    {
        wall.push_back(wallUs);
        cpu.push_back(cpuUs);
    }
    double wallMedian() const { return quantile(wall, 0.5); }
    double wallP90() const { return quantile(wall, 0.9); }
    double cpuMedian() const { return quantile(cpu, 0.5); }
    double cpuP90() const { return quantile(cpu, 0.9); }

private:
    // Nearest rank: the smallest sample with at least q of all samples at or below it.
    static double quantile(std::vector<double> v, double q)
    {
        if (v.empty())
            return 0.0;
        std::sort(v.begin(), v.end());
        size_t rank = size_t(q * double(v.size()) + 0.999999);
        rank = std::clamp<size_t>(rank, 1, v.size());
        return v[rank - 1];
    }

    std::vector<double> wall;
    std::vector<double> cpu;
};

// Times one call of `read` (which returns false when the read failed) into `samples`.
template<typename Read>
bool timeRead(ReadSamples &samples, Read &&read)
{
    const double w0 = microseconds(CLOCK_MONOTONIC);
    const double c0 = microseconds(CLOCK_PROCESS_CPUTIME_ID);
    const bool ok = read();
    const double c1 = microseconds(CLOCK_PROCESS_CPUTIME_ID);
    const double w1 = microseconds(CLOCK_MONOTONIC);
    samples.add(w1 - w0, c1 - c0);
    return ok;
}

#endif // READSAMPLES_H
