#include "playback/service/fluidsynthlibrary.h"

namespace quiralto::playback {

// The program's own build of FluidSynth, beside it in its folder; without
// it Windows would not start the program at all.
const char *const FluidSynthLibrary::FileName = "libfluidsynth-3.dll";

std::optional<FluidSynthLibrary> FluidSynthLibrary::open()
{
    FluidSynthLibrary library;
#define QUIRALTO_FLUIDSYNTH_LINKED(name) library.name = &::name;
    QUIRALTO_FLUIDSYNTH_FUNCTIONS(QUIRALTO_FLUIDSYNTH_LINKED)
#undef QUIRALTO_FLUIDSYNTH_LINKED
    return library;
}

} // namespace quiralto::playback
