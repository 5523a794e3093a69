// The benchmark's clock (QueryPerformanceCounter) and the distributions it reports.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ombrel::test::bench {

inline int64_t Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

inline double TicksPerSecond() {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
}

inline double TicksToNs(double ticks) { return ticks * 1e9 / TicksPerSecond(); }
inline double TicksToMs(double ticks) { return ticks * 1e3 / TicksPerSecond(); }

// Quantiles of durations, in nanoseconds.
struct Distribution {
    size_t count = 0;
    double p50 = 0;
    double p99 = 0;
    double p999 = 0;
    double max = 0;
    double mean = 0;
    size_t over1ms = 0;
    size_t over100us = 0;
};

inline Distribution Summarise(std::vector<uint32_t> ticks) {
    Distribution d;
    d.count = ticks.size();
    if (ticks.empty()) return d;
    std::sort(ticks.begin(), ticks.end());
    auto at = [&](double q) { return TicksToNs(ticks[static_cast<size_t>(q * (ticks.size() - 1))]); };
    d.p50 = at(0.5);
    d.p99 = at(0.99);
    d.p999 = at(0.999);
    d.max = TicksToNs(ticks.back());
    double sum = 0;
    const double ms = TicksPerSecond() / 1e3;
    const double us100 = TicksPerSecond() / 1e4;
    for (uint32_t t : ticks) {
        sum += t;
        if (t > ms) ++d.over1ms;
        if (t > us100) ++d.over100us;
    }
    d.mean = TicksToNs(sum / ticks.size());
    return d;
}

}  // namespace ombrel::test::bench
