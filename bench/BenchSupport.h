#pragma once

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace korimado::bench {

// Prints one figure as "name: value".
inline void report(const char* name, double value)
{
    std::printf("%s: %.3f\n", name, value);
    std::fflush(stdout);
}

class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double ms() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    }
    double us() const { return ms() * 1000.0; }

private:
    std::chrono::steady_clock::time_point start_;
};

// The p-th percentile (0..100) of samples, nearest rank.
inline double percentile(std::vector<double> samples, double p)
{
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t rank = static_cast<size_t>(p / 100.0 * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(rank, samples.size() - 1)];
}

// A deterministic text of mixed ASCII, Japanese and (optionally) emoji lines, about `units`
// UTF-16 units long.
QString generateMixedText(qsizetype units, bool emoji = true);

// Peak resident set size of this process in MiB.
double peakRssMb();

// The machine's load average over the last minute, to judge figures taken on a shared machine.
double loadAverage();

}  // namespace korimado::bench
