#pragma once

#include <fluidsynth.h>

#include <optional>

namespace quiralto::playback {

// The FluidSynth functions the program calls. On Linux they are looked up in
// FluidSynth's library when the synthesizer is first made rather than
// linked: a linked FluidSynth would be loaded, with the forty libraries it
// brings along, at every start, in time and memory that a student who only
// reads the tables never gets back (bench/RESULTS.md). On Windows the
// program carries its own FluidSynth, which brings nothing along, and links
// it. Each member carries FluidSynth's own name and signature, so that a
// call reads as a call of FluidSynth.
struct FluidSynthLibrary
{
#define QUIRALTO_FLUIDSYNTH_FUNCTIONS(X) \
    X(new_fluid_settings) \
    X(delete_fluid_settings) \
    X(fluid_settings_setint) \
    X(fluid_settings_setnum) \
    X(fluid_settings_setstr) \
    X(new_fluid_synth) \
    X(delete_fluid_synth) \
    X(fluid_synth_sfload) \
    X(fluid_synth_set_channel_type) \
    X(fluid_synth_all_sounds_off) \
    X(fluid_synth_cc) \
    X(fluid_synth_pitch_wheel_sens) \
    X(fluid_synth_bank_select) \
    X(fluid_synth_program_change) \
    X(fluid_synth_process) \
    X(fluid_synth_handle_midi_event) \
    X(new_fluid_audio_driver2) \
    X(delete_fluid_audio_driver) \
    X(new_fluid_player) \
    X(delete_fluid_player) \
    X(fluid_player_add_mem) \
    X(fluid_player_play) \
    X(fluid_player_stop) \
    X(fluid_player_set_playback_callback) \
    X(fluid_player_set_tick_callback) \
    X(fluid_midi_event_get_type) \
    X(fluid_midi_event_get_channel) \
    X(fluid_midi_event_set_channel) \
    X(fluid_set_log_function)

#define QUIRALTO_FLUIDSYNTH_POINTER(name) decltype(&::name) name = nullptr;
    QUIRALTO_FLUIDSYNTH_FUNCTIONS(QUIRALTO_FLUIDSYNTH_POINTER)
#undef QUIRALTO_FLUIDSYNTH_POINTER

    // The name the library goes by at run time.
    static const char *const FileName;

    // The library, opened and checked at the first call and kept open to the
    // end, with its log lines sent to the logging category
    // "quiralto.fluidsynth": its warnings and errors are shown, its
    // information and debugging lines only when that category asks for them. Throws RequestRefused(ErrorNoSynthesizerLibrary), at this and at
    // every later call, when it cannot be opened or lacks one of the functions.
    static const FluidSynthLibrary &functions();

private:
    // The functions of this system's FluidSynth; none when its library
    // cannot be opened or lacks one of them.
    static std::optional<FluidSynthLibrary> open();
};

} // namespace quiralto::playback
