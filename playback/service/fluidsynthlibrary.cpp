// FluidSynth is opened at its first use, when the first scale file is
// opened, rather than when the program starts. Linked the usual way, its
// library and the forty it brings along (sound file codecs, SDL, JACK, ALSA,
// PulseAudio) are loaded and relocated at every start: about 30 ms before
// the window can appear and 4 MB of memory, for a student who may only read
// the tables and never press Play.
//
// The FluidSynth functions the program calls are defined here, under
// FluidSynth's own declarations (so the compiler holds them to the real
// signatures), each passing the call on to the library's function. When the
// library cannot be opened, the functions fail as FluidSynth's own do: the
// constructors return nothing and the others FLUID_FAILED, so the first
// open reports that the synthesizer refused.

#include <fluidsynth.h>

#include <dlfcn.h>

namespace {

// FluidSynth 2.2 and later go by this name at run time.
static_assert(FLUIDSYNTH_VERSION_MAJOR == 2 && FLUIDSYNTH_VERSION_MINOR >= 2,
              "the library name below belongs to FluidSynth 2.2 to 2.x");
constexpr const char *LibraryName = "libfluidsynth.so.3";

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
    X(fluid_midi_event_set_channel)

struct Library
{
#define QUIRALTO_POINTER(name) decltype(&::name) name = nullptr;
    QUIRALTO_FLUIDSYNTH_FUNCTIONS(QUIRALTO_POINTER)
#undef QUIRALTO_POINTER
};

// Opened once, by whichever call comes first (the UI thread's, as the
// synthesizer is made before anything plays); nothing when the library or
// one of its functions is missing. The library stays open to the end.
const Library *library()
{
    static const Library *const opened = []() -> const Library * {
        void *handle = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return nullptr;
        static Library functions;
        bool complete = true;
#define QUIRALTO_RESOLVE(name) \
    functions.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
    complete = complete && functions.name;
        QUIRALTO_FLUIDSYNTH_FUNCTIONS(QUIRALTO_RESOLVE)
#undef QUIRALTO_RESOLVE
        return complete ? &functions : nullptr;
    }();
    return opened;
}

template <typename Function, typename Failed, typename... Arguments>
auto call(Function Library::*function, Failed failed, Arguments... arguments)
{
    const Library *functions = library();
    return functions ? (functions->*function)(arguments...) : failed;
}

// Nothing can have been made without the library, so there is nothing to delete.
template <typename Function, typename Object>
void destroy(Function Library::*function, Object *object)
{
    if (const Library *functions = library())
        (functions->*function)(object);
}

} // namespace

fluid_settings_t *new_fluid_settings(void)
{
    return call(&Library::new_fluid_settings, static_cast<fluid_settings_t *>(nullptr));
}

void delete_fluid_settings(fluid_settings_t *settings)
{
    destroy(&Library::delete_fluid_settings, settings);
}

int fluid_settings_setint(fluid_settings_t *settings, const char *name, int val)
{
    return call(&Library::fluid_settings_setint, FLUID_FAILED, settings, name, val);
}

int fluid_settings_setnum(fluid_settings_t *settings, const char *name, double val)
{
    return call(&Library::fluid_settings_setnum, FLUID_FAILED, settings, name, val);
}

int fluid_settings_setstr(fluid_settings_t *settings, const char *name, const char *str)
{
    return call(&Library::fluid_settings_setstr, FLUID_FAILED, settings, name, str);
}

fluid_synth_t *new_fluid_synth(fluid_settings_t *settings)
{
    return call(&Library::new_fluid_synth, static_cast<fluid_synth_t *>(nullptr), settings);
}

void delete_fluid_synth(fluid_synth_t *synth)
{
    destroy(&Library::delete_fluid_synth, synth);
}

int fluid_synth_sfload(fluid_synth_t *synth, const char *filename, int reset_presets)
{
    return call(&Library::fluid_synth_sfload, FLUID_FAILED, synth, filename, reset_presets);
}

int fluid_synth_set_channel_type(fluid_synth_t *synth, int chan, int type)
{
    return call(&Library::fluid_synth_set_channel_type, FLUID_FAILED, synth, chan, type);
}

int fluid_synth_all_sounds_off(fluid_synth_t *synth, int chan)
{
    return call(&Library::fluid_synth_all_sounds_off, FLUID_FAILED, synth, chan);
}

int fluid_synth_cc(fluid_synth_t *synth, int chan, int ctrl, int val)
{
    return call(&Library::fluid_synth_cc, FLUID_FAILED, synth, chan, ctrl, val);
}

int fluid_synth_pitch_wheel_sens(fluid_synth_t *synth, int chan, int val)
{
    return call(&Library::fluid_synth_pitch_wheel_sens, FLUID_FAILED, synth, chan, val);
}

int fluid_synth_bank_select(fluid_synth_t *synth, int chan, int bank)
{
    return call(&Library::fluid_synth_bank_select, FLUID_FAILED, synth, chan, bank);
}

int fluid_synth_program_change(fluid_synth_t *synth, int chan, int program)
{
    return call(&Library::fluid_synth_program_change, FLUID_FAILED, synth, chan, program);
}

int fluid_synth_process(fluid_synth_t *synth, int len, int nfx, float *fx[], int nout, float *out[])
{
    return call(&Library::fluid_synth_process, FLUID_FAILED, synth, len, nfx, fx, nout, out);
}

int fluid_synth_handle_midi_event(void *data, fluid_midi_event_t *event)
{
    return call(&Library::fluid_synth_handle_midi_event, FLUID_FAILED, data, event);
}

fluid_audio_driver_t *new_fluid_audio_driver2(fluid_settings_t *settings, fluid_audio_func_t func, void *data)
{
    return call(&Library::new_fluid_audio_driver2, static_cast<fluid_audio_driver_t *>(nullptr), settings, func,
                data);
}

void delete_fluid_audio_driver(fluid_audio_driver_t *driver)
{
    destroy(&Library::delete_fluid_audio_driver, driver);
}

fluid_player_t *new_fluid_player(fluid_synth_t *synth)
{
    return call(&Library::new_fluid_player, static_cast<fluid_player_t *>(nullptr), synth);
}

void delete_fluid_player(fluid_player_t *player)
{
    destroy(&Library::delete_fluid_player, player);
}

int fluid_player_add_mem(fluid_player_t *player, const void *buffer, size_t len)
{
    return call(&Library::fluid_player_add_mem, FLUID_FAILED, player, buffer, len);
}

int fluid_player_play(fluid_player_t *player)
{
    return call(&Library::fluid_player_play, FLUID_FAILED, player);
}

int fluid_player_stop(fluid_player_t *player)
{
    return call(&Library::fluid_player_stop, FLUID_FAILED, player);
}

int fluid_player_set_playback_callback(fluid_player_t *player, handle_midi_event_func_t handler, void *handler_data)
{
    return call(&Library::fluid_player_set_playback_callback, FLUID_FAILED, player, handler, handler_data);
}

int fluid_player_set_tick_callback(fluid_player_t *player, handle_midi_tick_func_t handler, void *handler_data)
{
    return call(&Library::fluid_player_set_tick_callback, FLUID_FAILED, player, handler, handler_data);
}

int fluid_midi_event_get_type(const fluid_midi_event_t *evt)
{
    return call(&Library::fluid_midi_event_get_type, FLUID_FAILED, evt);
}

int fluid_midi_event_get_channel(const fluid_midi_event_t *evt)
{
    return call(&Library::fluid_midi_event_get_channel, FLUID_FAILED, evt);
}

int fluid_midi_event_set_channel(fluid_midi_event_t *evt, int chan)
{
    return call(&Library::fluid_midi_event_set_channel, FLUID_FAILED, evt, chan);
}
