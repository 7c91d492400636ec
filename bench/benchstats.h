#pragma once

// Summaries of repeated measurements, and the one output format that
// scripts/bench reads: "name value" lines on standard output.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace quiralto::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The value below which the fraction q of the samples lie, interpolating
// between neighbours; the median for q = 0.5.
inline double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const double position = q * double(values.size() - 1);
    const auto below = std::size_t(std::floor(position));
    const auto above = std::min(below + 1, values.size() - 1);
    return values[below] + (position - double(below)) * (values[above] - values[below]);
}

inline double median(const std::vector<double> &values)
{
    return quantile(values, 0.5);
}

inline void report(const std::string &name, double value)
{
    std::printf("%s %.2f\n", name.c_str(), value);
    std::fflush(stdout);
}

// The median under \a name, with the spread beside it for the reader.
inline void reportSeries(const std::string &name, const std::vector<double> &values)
{
    report(name, median(values));
    report(name + ".min", quantile(values, 0.0));
    report(name + ".p90", quantile(values, 0.9));
    report(name + ".max", quantile(values, 1.0));
    report(name + ".n", double(values.size()));
}

} // namespace quiralto::bench
