#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace quiralto::tools {

// A SoundFont 2 file held in memory, its hydra unfolded into presets and
// instruments that own their zones, so that a part of it can be copied
// without keeping the file's bag and generator indices in step by hand.
// Index values in generators (the instrument of a preset zone, the sample
// of an instrument zone) are indices into this object's vectors.
namespace soundfont {

using Name = std::array<char, 20>;

struct Generator
{
    std::uint16_t operation;
    std::uint16_t amount; // a range is two bytes, low first: kept as read
};

struct Modulator
{
    std::uint16_t source;
    std::uint16_t destination;
    std::int16_t amount;
    std::uint16_t amountSource;
    std::uint16_t transform;
};

struct Zone
{
    std::vector<Generator> generators;
    std::vector<Modulator> modulators;
};

struct Preset
{
    Name name;
    std::uint16_t program;
    std::uint16_t bank;
    std::uint32_t library;
    std::uint32_t genre;
    std::uint32_t morphology;
    std::vector<Zone> zones;
};

struct Instrument
{
    Name name;
    std::vector<Zone> zones;
};

struct Sample
{
    Name name;
    std::uint32_t start;
    std::uint32_t end;
    std::uint32_t loopStart;
    std::uint32_t loopEnd;
    std::uint32_t sampleRate;
    std::uint8_t originalPitch;
    std::int8_t pitchCorrection;
    std::uint16_t link;
    std::uint16_t type;
};

// Generator operations and sample types the copy has to understand.
constexpr std::uint16_t KeyRange = 43;
constexpr std::uint16_t VelocityRange = 44;
constexpr std::uint16_t InstrumentIndex = 41;
constexpr std::uint16_t SampleIndex = 53;
constexpr std::uint16_t MonoSample = 1;
constexpr std::uint16_t RightSample = 2;
constexpr std::uint16_t LeftSample = 4;
constexpr std::uint16_t RomSample = 0x8000;

// The zero sample points that must follow every sample in the sample data.
constexpr std::uint32_t SampleGuardPoints = 46;

struct SoundFont
{
    std::vector<std::uint8_t> info; // the INFO list's sub-chunks, as read
    std::vector<std::int16_t> samplePoints;
    std::vector<std::uint8_t> lowBytes; // the 24-bit extension; empty without one
    std::vector<Preset> presets;
    std::vector<Instrument> instruments;
    std::vector<Sample> samples;
};

class FormatError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Throws FormatError, naming what is wrong, for anything that is not a
// complete SoundFont 2 file whose indices all point inside it.
SoundFont read(std::span<const std::uint8_t> file);
std::vector<std::uint8_t> write(const SoundFont &soundFont);

} // namespace soundfont
} // namespace quiralto::tools
