#pragma once

#include <algorithm>
#include <cmath>
#include <span>

namespace quiralto::testsupport {

/// How loud the loudest of \a samples is: 0 for silence, 1 at full scale.
inline float peakOf(std::span<const float> samples)
{
    float peak = 0;
    for (const float sample : samples)
        peak = std::max(peak, std::abs(sample));
    return peak;
}

} // namespace quiralto::testsupport
