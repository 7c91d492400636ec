#include "playback/service/synthengine.h"

#include "playback/service/mediaservice.h"
#include "playback/service/requestrefused.h"

#include <filesystem>
#include <string_view>

namespace quiralto::playback {
namespace {

constexpr int DrumChannel = 9;  // of every block, as General MIDI has it
constexpr int DrumBank = 128;
constexpr int ControllerVolume = 7;
constexpr int ControllerPan = 10;
constexpr int ControllerResetAll = 121;

void check(bool ok)
{
    if (!ok)
        throw RequestRefused(ErrorSynthesizer);
}

void setInt(fluid_settings_t *settings, const char *name, int value)
{
    check(fluid_settings_setint(settings, name, value) == FLUID_OK);
}

// Resetting all controllers leaves volume, pan, bank and pitch-bend range as
// they were, so those are set on their own. Choosing a program loads its
// samples, so a drum channel that will play nothing is left without one.
void resetChannel(fluid_synth_t *synth, int channel, bool playsDrums)
{
    const bool drums = channel % SynthEngine::ChannelsPerDevice == DrumChannel;
    fluid_synth_all_sounds_off(synth, channel);
    fluid_synth_cc(synth, channel, ControllerResetAll, 0);
    fluid_synth_cc(synth, channel, ControllerVolume, 100);
    fluid_synth_cc(synth, channel, ControllerPan, 64);
    fluid_synth_pitch_wheel_sens(synth, channel, 2);
    fluid_synth_bank_select(synth, channel, drums ? DrumBank : 0);
    if (!drums || playsDrums)
        fluid_synth_program_change(synth, channel, 0);
}

} // namespace

SynthEngine::SynthEngine(const std::vector<std::string> &soundFonts, AudioOutput output)
    : m_settings(new_fluid_settings(), &delete_fluid_settings),
      m_synth(nullptr, &delete_fluid_synth),
      m_driver(nullptr, &delete_fluid_audio_driver)
{
    check(m_settings != nullptr);
    fluid_settings_t *settings = m_settings.get();
    // Loading only the samples a program uses cuts the SoundFont's load from
    // about 150 ms and 172 MB to about 27 ms and 44 MB.
    setInt(settings, "synth.dynamic-sample-loading", 1);
    setInt(settings, "synth.midi-channels", MidiChannels);
    check(fluid_settings_setnum(settings, "synth.sample-rate", OutputSampleRate) == FLUID_OK);
    // Reverb and chorus are shared by all channels: a closed device's echo
    // would linger in the others', and closing must silence at once.
    setInt(settings, "synth.reverb.active", 0);
    setInt(settings, "synth.chorus.active", 0);
    // A player that finishes would otherwise reset the whole synthesizer,
    // cutting every other device's notes.
    setInt(settings, "player.reset-synth", 0);
    // Players must follow the rendered samples, so that offline rendering
    // drives them exactly as the speakers do.
    check(fluid_settings_setstr(settings, "player.timing-source", "sample") == FLUID_OK);
    // Two short periods: sound starts about 12 ms after a play request.
    setInt(settings, "audio.period-size", 256);
    setInt(settings, "audio.periods", 2);

    m_synth.reset(new_fluid_synth(settings));
    check(m_synth != nullptr);

    // No programs are chosen here: each device chooses those of its own
    // channels as it claims them, and choosing them for every channel would
    // load the drum kit's samples whether anything plays drums or not.
    bool loaded = false;
    for (const auto &path : soundFonts) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)
            && fluid_synth_sfload(m_synth.get(), path.c_str(), 0) != FLUID_FAILED) {
            loaded = true;
            break;
        }
    }
    if (!loaded)
        throw RequestRefused(ErrorNoSoundFont);

    for (int channel = 0; channel < MidiChannels; ++channel) {
        const bool drums = channel % ChannelsPerDevice == DrumChannel;
        check(fluid_synth_set_channel_type(m_synth.get(), channel,
                                           drums ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC) == FLUID_OK);
    }

    if (output == AudioOutput::Speakers) {
        for (const char *driver : {"pulseaudio", "alsa"}) {
            if (fluid_settings_setstr(settings, "audio.driver", driver) != FLUID_OK)
                continue;
            m_driver.reset(new_fluid_audio_driver2(settings, &SynthEngine::renderForDriver, this));
            if (m_driver)
                break;
        }
        if (!m_driver)
            throw RequestRefused(ErrorNoAudioOutput);
    }
}

// The driver's thread takes the render lock, so it must be gone before
// anything else is torn down; the members' order sees to that.
SynthEngine::~SynthEngine() = default;

std::optional<int> SynthEngine::claimChannels(bool playsDrums)
{
    for (std::size_t block = 0; block < m_claimedBlocks.size(); ++block) {
        if (m_claimedBlocks.test(block))
            continue;
        m_claimedBlocks.set(block);
        const int first = static_cast<int>(block) * ChannelsPerDevice;
        withSynth([first, playsDrums](fluid_synth_t *synth) {
            for (int channel = first; channel < first + ChannelsPerDevice; ++channel)
                resetChannel(synth, channel, playsDrums);
        });
        return first;
    }
    return std::nullopt;
}

void SynthEngine::releaseChannels(int firstChannel)
{
    m_claimedBlocks.reset(static_cast<std::size_t>(firstChannel / ChannelsPerDevice));
}

void SynthEngine::render(int frames, std::vector<float> &interleavedStereo)
{
    interleavedStereo.clear();
    if (frames <= 0)
        return;
    std::vector<float> left(static_cast<std::size_t>(frames));
    std::vector<float> right(left.size());
    float *out[] = {left.data(), right.data()};
    renderBlock(frames, 2, out);

    interleavedStereo.reserve(2 * left.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
        interleavedStereo.push_back(left[i]);
        interleavedStereo.push_back(right[i]);
    }
}

int SynthEngine::renderForDriver(void *engine, int frames, int, float *[], int nout, float *out[])
{
    return static_cast<SynthEngine *>(engine)->renderBlock(frames, nout, out);
}

// The players run inside this call: FluidSynth advances them as it renders.
int SynthEngine::renderBlock(int frames, int nout, float *out[])
{
    return withSynth([&](fluid_synth_t *synth) {
        return fluid_synth_process(synth, frames, 0, nullptr, nout, out);
    });
}

} // namespace quiralto::playback
