#include "audioanalysis.h"

#include <cmath>
#include <numbers>

Recording recordingFromRaw(const std::vector<std::int16_t> &raw, int sampleRate)
{
    Recording recording{sampleRate, {}};
    recording.samples.reserve(raw.size());
    for (std::int16_t sample : raw)
        recording.samples.push_back(float(sample) / 32768.0f);
    return recording;
}

std::optional<std::size_t> firstSoundAfter(const Recording &recording, std::size_t from, float threshold)
{
    for (std::size_t i = from; i < recording.samples.size(); ++i)
        if (std::fabs(recording.samples[i]) > threshold)
            return i;
    return std::nullopt;
}

namespace {

// Power of one frequency in a Hann-windowed block (Goertzel's recurrence).
double powerAt(std::span<const float> window, double frequency, int sampleRate)
{
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / sampleRate);
    double previous = 0.0, beforePrevious = 0.0;
    const std::size_t n = window.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(n - 1));
        const double current = window[i] * hann + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
}

} // namespace

int dominantNote(std::span<const float> window, int sampleRate)
{
    int best = 0;
    double bestScore = -1e300;
    for (int note = 40; note <= 96; ++note) {
        const double fundamental = 440.0 * std::pow(2.0, (note - 69) / 12.0);
        // A product of harmonics (a sum of logarithms) favours the note whose
        // whole series is present, not a note an octave above or below.
        double score = 0.0;
        for (int harmonic = 1; harmonic <= 3; ++harmonic)
            score += std::log(powerAt(window, fundamental * harmonic, sampleRate) + 1e-12);
        if (score > bestScore) {
            bestScore = score;
            best = note;
        }
    }
    return best;
}
