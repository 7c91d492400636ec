#include "playback/service/systemsound.h"

#include <windows.h>

#include <filesystem>

namespace quiralto::playback {

// WASAPI is what Windows plays through since Vista; DirectSound and the
// wave-out functions are kept for a machine whose WASAPI refuses the format.
std::vector<const char *> systemAudioDrivers()
{
    return {"wasapi", "dsound", "waveout"};
}

// The one the program ships, in the program's own folder, wherever a user
// put that: its path may hold any character, so it is taken as Windows
// gives it, in UTF-16, and handed on in UTF-8, which FluidSynth reads.
std::vector<std::string> systemSoundFonts()
{
    std::wstring program(MAX_PATH, L'\0');
    DWORD length;
    while ((length = GetModuleFileNameW(nullptr, program.data(), DWORD(program.size()))) == program.size())
        program.resize(program.size() * 2);
    program.resize(length);
    const std::u8string soundFont = (std::filesystem::path(program).parent_path() / L"quiralto.sf2").u8string();
    return {std::string(soundFont.begin(), soundFont.end())};
}

// The installer puts it there; only installing again brings it back.
const char *soundFontRemedy()
{
    return "instale o Quiralto de novo";
}

} // namespace quiralto::playback
