#include "playback/service/synthengine.h"

#include "playback/service/audiooutput.h"
#include "playback/service/mediaservice.h"
#include "playback/service/requestrefused.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace quiralto::playback {
namespace {

constexpr int DrumChannel = 9;  // of every block, as General MIDI has it
constexpr int DrumBank = 128;
constexpr int ControllerVolume = 7;
constexpr int ControllerPan = 10;
constexpr int ControllerResetAll = 121;

bool isDrumChannel(int channel)
{
    return channel % SynthEngine::ChannelsPerDevice == DrumChannel;
}

void check(bool ok)
{
    if (!ok)
        throw RequestRefused(ErrorSynthesizer);
}

// One of FluidSynth's drivers; deleting it ends its thread.
class FluidSynthDriver final : public AudioDriver
{
public:
    FluidSynthDriver(fluid_audio_driver_t *driver, decltype(&::delete_fluid_audio_driver) deleteDriver)
        : m_driver(driver), m_delete(deleteDriver) {}
    ~FluidSynthDriver() override { m_delete(m_driver); }

    FluidSynthDriver(const FluidSynthDriver &) = delete;
    FluidSynthDriver &operator=(const FluidSynthDriver &) = delete;

private:
    fluid_audio_driver_t *m_driver;
    decltype(&::delete_fluid_audio_driver) m_delete;
};

} // namespace

// A driver and what its thread reaches the engine through. Giving the output
// up cuts it, so that a driver whose thread was stuck rather than ended
// renders nothing more if it ever moves again.
struct SynthEngine::Output
{
    explicit Output(SynthEngine &engine) : engine(engine) {}

    SynthEngine &engine;
    std::atomic<bool> cut{false};
    // Last, so that it goes first: its thread uses the rest.
    std::unique_ptr<AudioDriver> driver;
};

SynthEngine::SynthEngine(const std::vector<std::string> &soundFonts)
    : m_fluid(FluidSynthLibrary::functions()),
      m_settings(m_fluid.new_fluid_settings(), m_fluid.delete_fluid_settings),
      m_synth(nullptr, m_fluid.delete_fluid_synth)
{
    check(m_settings != nullptr);
    fluid_settings_t *settings = m_settings.get();
    const auto setInt = [&](const char *name, int value) {
        check(m_fluid.fluid_settings_setint(settings, name, value) == FLUID_OK);
    };
    // Only the samples of the programs chosen are loaded, not the whole
    // SoundFont: see bench/RESULTS.md for what that saves.
    setInt("synth.dynamic-sample-loading", 1);
    setInt("synth.midi-channels", MidiChannels);
    check(m_fluid.fluid_settings_setnum(settings, "synth.sample-rate", OutputSampleRate) == FLUID_OK);
    // Reverb and chorus are shared by all channels: a closed device's echo
    // would linger in the others', and closing must silence at once.
    setInt("synth.reverb.active", 0);
    setInt("synth.chorus.active", 0);
    // A player that finishes would otherwise reset the whole synthesizer,
    // cutting every other device's notes.
    setInt("player.reset-synth", 0);
    // Players must follow the rendered samples, so that offline rendering
    // drives them exactly as the speakers do.
    check(m_fluid.fluid_settings_setstr(settings, "player.timing-source", "sample") == FLUID_OK);
    // Two short periods, so that a press is heard soon (bench/RESULTS.md,
    // press to first sample).
    setInt("audio.period-size", 256);
    setInt("audio.periods", 2);

    m_synth.reset(m_fluid.new_fluid_synth(settings));
    check(m_synth != nullptr);

    // The SoundFont chooses no programs as it loads: choosing them for every
    // channel would load the drum kit's samples whether anything plays drums
    // or not.
    bool loaded = false;
    for (const auto &path : soundFonts) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)
            && m_fluid.fluid_synth_sfload(m_synth.get(), path.c_str(), 0) != FLUID_FAILED) {
            loaded = true;
            break;
        }
    }
    if (!loaded)
        throw RequestRefused(ErrorNoSoundFont);

    for (int channel = 0; channel < MidiChannels; ++channel) {
        check(m_fluid.fluid_synth_set_channel_type(m_synth.get(), channel,
                                                   isDrumChannel(channel) ? CHANNEL_TYPE_DRUM
                                                                          : CHANNEL_TYPE_MELODIC) == FLUID_OK);
        // Every melodic channel is put on the piano, which every device
        // starts its channels on (claimChannels): its samples are loaded
        // here, before the first open, and stay loaded while any channel
        // keeps it, which one device choosing it again does not change.
        if (!isDrumChannel(channel))
            m_fluid.fluid_synth_program_change(m_synth.get(), channel, 0);
    }
}

SynthEngine::~SynthEngine() = default;

bool SynthEngine::startOutput(const AudioDriverMaker &makeDriver)
{
    if (m_output)
        return true;
    // Made before its driver, whose thread may call back at once.
    auto output = std::make_unique<Output>(*this);
    output->driver = makeDriver ? makeDriver(&SynthEngine::renderForDriver, output.get())
                                : makeFluidSynthDriver(*output);
    if (!output->driver)
        return false;
    m_output = std::move(output);
    return true;
}

std::unique_ptr<AudioDriver> SynthEngine::makeFluidSynthDriver(Output &output)
{
    fluid_settings_t *settings = m_settings.get();
    for (const char *name : {"pulseaudio", "alsa"}) {
        if (m_fluid.fluid_settings_setstr(settings, "audio.driver", name) != FLUID_OK)
            continue;
        if (fluid_audio_driver_t *driver
            = m_fluid.new_fluid_audio_driver2(settings, &SynthEngine::renderForDriver, &output))
            return std::make_unique<FluidSynthDriver>(driver, m_fluid.delete_fluid_audio_driver);
    }
    return nullptr;
}

void SynthEngine::stopOutput()
{
    if (!m_output)
        return;
    m_output->cut.store(true);
    // Deleting a driver waits for its thread, which a sound server that
    // hangs rather than goes away could hold in a write for as long as it
    // hangs; the UI thread must not wait for that.
    std::erase_if(m_retiredOutputs, [](const std::future<void> &retired) {
        return retired.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    m_retiredOutputs.push_back(
        std::async(std::launch::async, [output = std::move(m_output)]() mutable { output.reset(); }));
    withSynth([this](fluid_synth_t *synth) { m_fluid.fluid_synth_all_sounds_off(synth, -1); });
}

std::optional<int> SynthEngine::claimChannels(bool playsDrums)
{
    for (std::size_t block = 0; block < m_claimedBlocks.size(); ++block) {
        if (m_claimedBlocks.test(block))
            continue;
        m_claimedBlocks.set(block);
        const int first = static_cast<int>(block) * ChannelsPerDevice;
        // Resetting all controllers leaves volume, pan, bank and pitch-bend
        // range as they were, so those are set on their own. Choosing a
        // program loads its samples, so a drum channel that will play
        // nothing is left without one.
        withSynth([&](fluid_synth_t *synth) {
            for (int channel = first; channel < first + ChannelsPerDevice; ++channel) {
                const bool drums = isDrumChannel(channel);
                m_fluid.fluid_synth_all_sounds_off(synth, channel);
                m_fluid.fluid_synth_cc(synth, channel, ControllerResetAll, 0);
                m_fluid.fluid_synth_cc(synth, channel, ControllerVolume, 100);
                m_fluid.fluid_synth_cc(synth, channel, ControllerPan, 64);
                m_fluid.fluid_synth_pitch_wheel_sens(synth, channel, 2);
                m_fluid.fluid_synth_bank_select(synth, channel, drums ? DrumBank : 0);
                if (!drums || playsDrums)
                    m_fluid.fluid_synth_program_change(synth, channel, 0);
            }
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

int SynthEngine::renderForDriver(void *output, int frames, int, float *[], int nout, float *out[])
{
    auto &link = *static_cast<Output *>(output);
    if (link.cut.load()) {
        for (int channel = 0; channel < nout; ++channel)
            std::fill_n(out[channel], frames, 0.0f);
        return FLUID_OK;
    }
    return link.engine.renderBlock(frames, nout, out);
}

// The players run inside this call: FluidSynth advances them as it renders.
int SynthEngine::renderBlock(int frames, int nout, float *out[])
{
    m_renderedBlocks.fetch_add(1, std::memory_order_relaxed);
    return withSynth([&](fluid_synth_t *synth) {
        return m_fluid.fluid_synth_process(synth, frames, 0, nullptr, nout, out);
    });
}

} // namespace quiralto::playback
