#include "playback/service/systemsound.h"

namespace quiralto::playback {

// The desktop's sound server first; ALSA where none runs.
std::vector<const char *> systemAudioDrivers()
{
    return {"pulseaudio", "alsa"};
}

// Those of Debian's fluid-soundfont-gm package.
std::vector<std::string> systemSoundFonts()
{
    return {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"};
}

const char *soundFontRemedy()
{
    return "instale o pacote fluid-soundfont-gm";
}

} // namespace quiralto::playback
