#pragma once

#include <string>
#include <vector>

namespace quiralto::playback {

// What FluidSynth plays through on this system.

// FluidSynth's audio drivers for the speakers, in the order they are tried.
std::vector<const char *> systemAudioDrivers();

// The General MIDI SoundFonts, as UTF-8 paths, in the order they are tried.
std::vector<std::string> systemSoundFonts();

// What a user does when none of them is there, in UTF-8.
const char *soundFontRemedy();

} // namespace quiralto::playback
