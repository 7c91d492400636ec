#include "playback/service/fluidsynthlibrary.h"

#include <dlfcn.h>

namespace quiralto::playback {

static_assert(FLUIDSYNTH_VERSION_MAJOR == 2 && FLUIDSYNTH_VERSION_MINOR >= 2,
              "FluidSynthLibrary::FileName belongs to FluidSynth 2.2 to 2.x");

const char *const FluidSynthLibrary::FileName = "libfluidsynth.so.3";

std::optional<FluidSynthLibrary> FluidSynthLibrary::open()
{
    void *handle = dlopen(FileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return std::nullopt;
    FluidSynthLibrary library;
    bool complete = true;
#define QUIRALTO_FLUIDSYNTH_RESOLVE(name) \
    library.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
    complete = complete && library.name;
    QUIRALTO_FLUIDSYNTH_FUNCTIONS(QUIRALTO_FLUIDSYNTH_RESOLVE)
#undef QUIRALTO_FLUIDSYNTH_RESOLVE
    if (!complete) {
        dlclose(handle);
        return std::nullopt;
    }
    return library;
}

} // namespace quiralto::playback
