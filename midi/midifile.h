#pragma once

#include "model/exception.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quiralto::midi {

/// Files larger than this are refused before anything parses them.
inline constexpr std::size_t MaxMidiFileSize = 1024 * 1024;

/// A channel message (note on/off, program change, ...) at its absolute tick.
struct MidiEvent
{
    std::uint32_t tick;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;

    bool operator==(const MidiEvent &) const = default;
};

/// A Set Tempo meta event at its absolute tick.
struct TempoChange
{
    std::uint32_t tick;
    std::uint32_t microsecondsPerQuarter;

    bool operator==(const TempoChange &) const = default;
};

/// A checked Standard MIDI File: what our own reading found in it.
struct MidiFile
{
    std::uint16_t format = 0;
    std::uint16_t division = 0;     ///< ticks per quarter note
    std::uint32_t lastEventTick = 0;///< tick of the latest event of any track, meta events included
    std::vector<std::vector<MidiEvent>> tracks;
    std::vector<TempoChange> tempoChanges;  ///< of every track, ordered by tick
};

/// Raised for bytes that are not a well-formed Standard MIDI File; the
/// message says why, in Portuguese.
class MidiFormatError : public Exception
{
public:
    using Exception::Exception;
};

/// Reads a Standard MIDI File strictly: header chunk, chunk lengths inside
/// the file, at least one track, every event complete, the size limit.
/// Throws MidiFormatError otherwise.
MidiFile readMidiFile(std::span<const std::uint8_t> bytes);

} // namespace quiralto::midi
