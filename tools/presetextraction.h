#pragma once

#include "tools/soundfont.h"

#include <cstdint>

namespace quiralto::tools::soundfont {

// A SoundFont holding only the preset \a bank:\a program of \a source, with
// the instruments it plays and the samples they play, and the source's INFO
// (its name, copyright and licence) unchanged. Throws FormatError when
// \a source has no such preset or keeps one of its samples in ROM.
SoundFont extractPreset(const SoundFont &source, std::uint16_t bank, std::uint16_t program);

} // namespace quiralto::tools::soundfont
