#pragma once

#include "playback/service/audiodriver.h"
#include "playback/service/fluidsynthlibrary.h"

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quiralto::playback {

// The one synthesizer of the program, its SoundFont and, for the speakers,
// its audio output. Devices share it, each on a block of 16 channels of its
// own, so that one device's notes, programs and controllers never touch
// another's.
//
// A sound server can hold whoever talks to it for as long as it hangs, so
// outputs are made and deleted on threads of their own, which nothing ever
// joins: the engine waits for them a bounded time at most, and a thread
// still stuck when the engine goes is left to the end of the process.
class SynthEngine
{
public:
    static constexpr int ChannelsPerDevice = 16;
    // The most FluidSynth allows: room for 16 devices at once.
    static constexpr int MidiChannels = 256;

    // Makes the synthesizer and loads the first of \a soundFonts that loads;
    // no output yet. Throws RequestRefused with ErrorNoSynthesizerLibrary,
    // ErrorNoSoundFont or ErrorSynthesizer.
    explicit SynthEngine(const std::vector<std::string> &soundFonts);
    // Gives up the output, and one being made, waiting a short while at most
    // for the threads that delete them.
    ~SynthEngine();

    SynthEngine(const SynthEngine &) = delete;
    SynthEngine &operator=(const SynthEngine &) = delete;

    const FluidSynthLibrary &fluid() const { return m_fluid; }

    // Starts making an output on a thread of its own, unless one runs or is
    // being made: a driver that \a makeDriver makes, or the first of the
    // system's FluidSynth drivers that starts (systemsound.h) when it is
    // empty. \a settled is called on
    // that thread once the making has succeeded or failed, unless the engine
    // has gone by then. May be called from any one thread at a time.
    void beginOutput(const AudioDriverMaker &makeDriver, std::function<void()> settled);
    // Waits, until \a patience after the making began at most, for an output
    // being made; an output made by then runs from now on, one that failed
    // is forgotten.
    OutputState settleOutput(std::chrono::milliseconds patience);
    // Gives the output up, deleting it on a thread of its own, and silences
    // every channel, so that what sounded when it went does not come back in
    // the next one.
    void stopOutput();

    // How many blocks the synthesizer has rendered: a running output renders
    // one every few milliseconds, silence included.
    std::uint64_t renderedBlocks() const { return m_renderedBlocks.load(std::memory_order_relaxed); }

    // Runs \a work with the synthesizer while no audio is being rendered.
    // FluidSynth 2.3 keeps its players' timers in a list that rendering walks
    // without a lock, so players may be created, started or deleted only so.
    template <typename Work>
    decltype(auto) withSynth(Work &&work)
    {
        const std::lock_guard lock(*m_renderLock);
        return work(m_synth.get());
    }

    // The first channel of a free block, reset to General MIDI defaults as a
    // new device expects; nothing when every block is taken. The drum kit is
    // chosen for the block's drum channel only when \a playsDrums: loading
    // its samples takes longer than all else the first open does.
    std::optional<int> claimChannels(bool playsDrums);
    // Frees the block; its device has silenced it.
    void releaseChannels(int firstChannel);

    // Offline only: advances the synthesizer by \a frames and returns them as
    // interleaved stereo.
    void render(int frames, std::vector<float> &interleavedStereo);

private:
    struct Output;
    struct Making;
    struct Workers;

    static int renderForDriver(void *output, int frames, int nfx, float *fx[], int nout, float *out[]) noexcept;
    int renderBlock(int frames, int nout, float *out[]);
    void abandonMaking();
    void retire(std::unique_ptr<Output> output);
    template <typename Work>
    void runDetached(Work work);

    const FluidSynthLibrary &m_fluid;
    // Shared with the outputs, whose threads may outlive the engine.
    const std::shared_ptr<std::mutex> m_renderLock;
    const std::shared_ptr<Workers> m_workers;
    std::atomic<std::uint64_t> m_renderedBlocks{0};
    // In creation order, so that they die in reverse. The settings are
    // shared with the thread that makes an output, which may outlive the
    // synthesizer.
    std::shared_ptr<fluid_settings_t> m_settings;
    std::unique_ptr<fluid_synth_t, decltype(&::delete_fluid_synth)> m_synth;
    std::shared_ptr<Making> m_making;
    std::unique_ptr<Output> m_output;
    std::bitset<MidiChannels / ChannelsPerDevice> m_claimedBlocks;
};

} // namespace quiralto::playback
