#include "tools/presetextraction.h"

#include <algorithm>
#include <map>
#include <string>

namespace quiralto::tools::soundfont {

namespace {

// Numbers the items a copy keeps in the order it first meets them.
class Renumbering
{
public:
    std::uint16_t operator()(std::uint16_t sourceIndex)
    {
        const auto [entry, added] = m_targetIndex.try_emplace(sourceIndex, std::uint16_t(m_kept.size()));
        if (added)
            m_kept.push_back(sourceIndex);
        return entry->second;
    }
    // The source indices of the items kept, in their new order.
    const std::vector<std::uint16_t> &kept() const { return m_kept; }

private:
    std::map<std::uint16_t, std::uint16_t> m_targetIndex;
    std::vector<std::uint16_t> m_kept;
};

void renumber(std::vector<Zone> &zones, std::uint16_t operation, Renumbering &renumbering)
{
    for (Zone &zone : zones)
        for (Generator &generator : zone.generators)
            if (generator.operation == operation)
                generator.amount = renumbering(generator.amount);
}

std::uint16_t amountOf(const Zone &zone, std::uint16_t operation, std::uint16_t fallback)
{
    const auto found = std::ranges::find(zone.generators, operation, &Generator::operation);
    return found == zone.generators.end() ? fallback : found->amount;
}

// Copies a sample's points, and the guard of zeros the format wants after
// them, to the end of \a target's sample data, and moves its header along.
Sample copySample(const SoundFont &source, Sample sample, SoundFont &target)
{
    if (sample.type & RomSample)
        throw FormatError("a sample of the preset is kept in ROM");
    const auto start = std::ptrdiff_t(target.samplePoints.size());
    const auto from = std::ptrdiff_t(sample.start), to = std::ptrdiff_t(sample.end);
    target.samplePoints.insert(target.samplePoints.end(), source.samplePoints.begin() + from,
                               source.samplePoints.begin() + to);
    target.samplePoints.resize(target.samplePoints.size() + SampleGuardPoints, 0);
    if (!source.lowBytes.empty()) {
        target.lowBytes.insert(target.lowBytes.end(), source.lowBytes.begin() + from, source.lowBytes.begin() + to);
        target.lowBytes.resize(target.samplePoints.size(), 0);
    }
    const auto move = [&](std::uint32_t point) { return std::uint32_t(std::int64_t(point) - from + start); };
    sample.start = move(sample.start);
    sample.end = move(sample.end);
    sample.loopStart = move(sample.loopStart);
    sample.loopEnd = move(sample.loopEnd);
    return sample;
}

// FluidR3 GM links every stereo sample to sample 0, whatever its partner, so
// links are rebuilt rather than carried over: within an instrument, a left
// and a right sample that play the same keys at the same velocities are a
// pair. A sample left without a partner becomes mono, as a synthesizer that
// cannot pair it plays it anyway.
void linkStereoPairs(SoundFont &soundFont)
{
    constexpr std::uint16_t FullRange = 127 << 8; // 0 to 127, low byte first
    std::vector<bool> paired(soundFont.samples.size(), false);
    const auto sampleOf = [](const Zone &zone) { return amountOf(zone, SampleIndex, 0xFFFF); };
    for (const Instrument &instrument : soundFont.instruments)
        for (const Zone &left : instrument.zones)
            for (const Zone &right : instrument.zones) {
                const std::uint16_t l = sampleOf(left), r = sampleOf(right);
                if (l == 0xFFFF || r == 0xFFFF || paired[l] || paired[r]
                    || soundFont.samples[l].type != LeftSample || soundFont.samples[r].type != RightSample
                    || amountOf(left, KeyRange, FullRange) != amountOf(right, KeyRange, FullRange)
                    || amountOf(left, VelocityRange, FullRange) != amountOf(right, VelocityRange, FullRange))
                    continue;
                soundFont.samples[l].link = r;
                soundFont.samples[r].link = l;
                paired[l] = paired[r] = true;
            }
    for (std::size_t i = 0; i < soundFont.samples.size(); ++i)
        if (!paired[i]) {
            soundFont.samples[i].type = MonoSample;
            soundFont.samples[i].link = 0;
        }
}

} // namespace

SoundFont extractPreset(const SoundFont &source, std::uint16_t bank, std::uint16_t program)
{
    const auto preset = std::ranges::find_if(
        source.presets, [&](const Preset &p) { return p.bank == bank && p.program == program; });
    if (preset == source.presets.end())
        throw FormatError("no preset " + std::to_string(bank) + ":" + std::to_string(program));

    SoundFont target;
    target.info = source.info;
    target.presets = {*preset};
    Renumbering instruments, samples;
    renumber(target.presets.front().zones, InstrumentIndex, instruments);
    for (std::uint16_t index : instruments.kept()) {
        target.instruments.push_back(source.instruments[index]);
        renumber(target.instruments.back().zones, SampleIndex, samples);
    }
    for (std::uint16_t index : samples.kept())
        target.samples.push_back(copySample(source, source.samples[index], target));
    linkStereoPairs(target);
    return target;
}

} // namespace quiralto::tools::soundfont
