#include "playback/service/synthengine.h"

#include "playback/service/audiooutput.h"
#include "playback/service/mediaservice.h"
#include "playback/service/requestrefused.h"
#include "playback/service/systemsound.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <thread>

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

std::unique_ptr<AudioDriver> makeFluidSynthDriver(const FluidSynthLibrary &fluid, fluid_settings_t *settings,
                                                  AudioCallback callback, void *data)
{
    for (const char *name : systemAudioDrivers()) {
        if (fluid.fluid_settings_setstr(settings, "audio.driver", name) != FLUID_OK)
            continue;
        if (fluid_audio_driver_t *driver = fluid.new_fluid_audio_driver2(settings, callback, data))
            return std::make_unique<FluidSynthDriver>(driver, fluid.delete_fluid_audio_driver);
    }
    return nullptr;
}

// As long as closing the window may wait for the threads that delete the
// outputs: long enough for a server that answers, short enough that a
// window closed on a hung one is gone at once.
constexpr auto ExitPatience = std::chrono::milliseconds(500);

} // namespace

// A driver and what its thread reaches the engine through. Giving the output
// up cuts it, under the render lock, so that a driver whose thread was stuck
// rather than ended renders nothing more if it ever moves again, even once
// the engine is gone.
struct SynthEngine::Output
{
    Output(std::shared_ptr<std::mutex> renderLock, SynthEngine *engine)
        : renderLock(std::move(renderLock)), engine(engine) {}

    const std::shared_ptr<std::mutex> renderLock;
    SynthEngine *engine;
    // Last, so that it goes first: its thread uses the rest.
    std::unique_ptr<AudioDriver> driver;
};

// An output being made, shared with the thread that makes it.
struct SynthEngine::Making
{
    std::mutex lock;
    std::condition_variable finishedChanged;
    std::chrono::steady_clock::time_point begun = std::chrono::steady_clock::now();
    bool finished = false;
    bool abandoned = false;
    // Its driver is set when made; none when the making failed.
    std::unique_ptr<Output> output;
};

// The threads that make and delete outputs and have not ended yet.
struct SynthEngine::Workers
{
    std::mutex lock;
    std::condition_variable allEnded;
    int running = 0;
};

SynthEngine::SynthEngine(const std::vector<std::string> &soundFonts)
    : m_fluid(FluidSynthLibrary::functions()),
      m_renderLock(std::make_shared<std::mutex>()),
      m_workers(std::make_shared<Workers>()),
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
        // The paths are UTF-8 on every system; as a plain string, Windows
        // would read one in its ANSI code page.
        if (std::filesystem::is_regular_file(std::u8string(path.begin(), path.end()), ignored)
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

SynthEngine::~SynthEngine()
{
    abandonMaking();
    stopOutput();
    std::unique_lock lock(m_workers->lock);
    m_workers->allEnded.wait_for(lock, ExitPatience, [this] { return m_workers->running == 0; });
}

void SynthEngine::beginOutput(const AudioDriverMaker &makeDriver, std::function<void()> settled)
{
    if (m_output || m_making)
        return;
    auto making = std::make_shared<Making>();
    // Made before its driver, whose thread may call back at once.
    making->output = std::make_unique<Output>(m_renderLock, this);
    runDetached([making, output = making->output.get(), makeDriver, settled = std::move(settled),
                 settings = m_settings, &fluid = m_fluid] {
        std::unique_ptr<AudioDriver> driver;
        try {
            driver = makeDriver ? makeDriver(&SynthEngine::renderForDriver, output)
                                : makeFluidSynthDriver(fluid, settings.get(), &SynthEngine::renderForDriver, output);
        } catch (...) {
            // Out of memory, say: no output, as when the server refuses one.
        }
        std::unique_lock lock(making->lock);
        if (making->abandoned) {
            // The engine has gone, and cut the output as it went.
            lock.unlock();
            driver.reset();
            return;
        }
        output->driver = std::move(driver);
        making->finished = true;
        making->finishedChanged.notify_all();
        // Under the lock, so that the engine cannot go while it is told.
        // Left untold when telling fails: the next request, or the deadline
        // of a play that waits, settles the output all the same.
        try {
            if (settled)
                settled();
        } catch (...) {
        }
    });
    // Only once its thread runs: a making that never began would never end.
    m_making = std::move(making);
}

OutputState SynthEngine::settleOutput(std::chrono::milliseconds patience)
{
    if (m_output)
        return OutputState::Running;
    if (!m_making)
        return OutputState::None;
    const std::shared_ptr<Making> making = m_making;
    std::unique_ptr<Output> output;
    {
        std::unique_lock lock(making->lock);
        if (!making->finishedChanged.wait_until(lock, making->begun + patience, [&] { return making->finished; }))
            return OutputState::Making;
        output = std::move(making->output);
    }
    m_making.reset();
    if (!output->driver)
        return OutputState::None;
    m_output = std::move(output);
    return OutputState::Running;
}

void SynthEngine::stopOutput()
{
    if (!m_output)
        return;
    retire(std::move(m_output));
    withSynth([this](fluid_synth_t *synth) { m_fluid.fluid_synth_all_sounds_off(synth, -1); });
}

// The making goes on without the engine; what it makes is deleted at once.
void SynthEngine::abandonMaking()
{
    if (!m_making)
        return;
    std::unique_ptr<Output> made;
    {
        const std::lock_guard lock(m_making->lock);
        m_making->abandoned = true;
        withSynth([this](fluid_synth_t *) { m_making->output->engine = nullptr; });
        if (m_making->finished)
            made = std::move(m_making->output);
    }
    m_making.reset();
    if (made && made->driver)
        retire(std::move(made));
}

// Deleting a driver waits for its thread, which a sound server that hangs
// rather than goes away can hold in a write for as long as it hangs.
void SynthEngine::retire(std::unique_ptr<Output> output)
{
    withSynth([&](fluid_synth_t *) { output->engine = nullptr; });
    Output *const retired = output.release();
    try {
        runDetached([retired] { delete retired; });
    } catch (...) {
        // No thread to delete it on. Deleting it here could hold the window
        // on a hung server, so it is left, cut from the engine, to the end
        // of the process.
    }
}

template <typename Work>
void SynthEngine::runDetached(Work work)
{
    {
        const std::lock_guard lock(m_workers->lock);
        ++m_workers->running;
    }
    const auto ended = [workers = m_workers] {
        const std::lock_guard lock(workers->lock);
        --workers->running;
        workers->allEnded.notify_all();
    };
    try {
        std::thread([work = std::move(work), ended]() mutable {
            work();
            ended();
        }).detach();
    } catch (...) {
        ended();
        throw;
    }
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
    withSynth([&](fluid_synth_t *) { renderBlock(frames, 2, out); });

    interleavedStereo.reserve(2 * left.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
        interleavedStereo.push_back(left[i]);
        interleavedStereo.push_back(right[i]);
    }
}

int SynthEngine::renderForDriver(void *output, int frames, int, float *[], int nout, float *out[]) noexcept
{
    auto &link = *static_cast<Output *>(output);
    // The one lock of the audio thread, which rendering needs in any case.
    const std::lock_guard lock(*link.renderLock);
    if (!link.engine) {
        for (int channel = 0; channel < nout; ++channel)
            std::fill_n(out[channel], frames, 0.0f);
        return FLUID_OK;
    }
    return link.engine->renderBlock(frames, nout, out);
}

// The players run inside this call: FluidSynth advances them as it renders.
// Under the render lock.
int SynthEngine::renderBlock(int frames, int nout, float *out[])
{
    m_renderedBlocks.fetch_add(1, std::memory_order_relaxed);
    return m_fluid.fluid_synth_process(m_synth.get(), frames, 0, nullptr, nout, out);
}

} // namespace quiralto::playback
