#pragma once

#include "midi/midifile.h"

#include <cstdint>
#include <vector>

namespace quiralto::midi {

/// Writes \a midi back as a Standard MIDI File holding only what our reading
/// keeps: the channel messages of every track, the tempo changes (in the
/// first track) and an End of Track at lastEventTick in each track. Every
/// event carries its own status byte. readMidiFile reads the result back as
/// \a midi.
std::vector<std::uint8_t> writeMidiFile(const MidiFile &midi);

} // namespace quiralto::midi
