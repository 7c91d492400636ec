#pragma once

#include "playback/service/audiodriver.h"
#include "playback/service/fluidsynthlibrary.h"

#include <atomic>
#include <bitset>
#include <cstdint>
#include <future>
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
    ~SynthEngine();

    SynthEngine(const SynthEngine &) = delete;
    SynthEngine &operator=(const SynthEngine &) = delete;

    const FluidSynthLibrary &fluid() const { return m_fluid; }

    // Sends the sound to a driver that \a makeDriver makes, or to FluidSynth's
    // PulseAudio or ALSA driver when it is empty; false when none can be
    // made. Does nothing while an output runs.
    bool startOutput(const AudioDriverMaker &makeDriver);
    // Gives the output up and silences every channel, so that what sounded
    // when it went does not come back in the next one.
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
        const std::lock_guard lock(m_renderLock);
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

    static int renderForDriver(void *output, int frames, int nfx, float *fx[], int nout, float *out[]);
    int renderBlock(int frames, int nout, float *out[]);
    std::unique_ptr<AudioDriver> makeFluidSynthDriver(Output &output);

    using Settings = std::unique_ptr<fluid_settings_t, decltype(&::delete_fluid_settings)>;
    using Synth = std::unique_ptr<fluid_synth_t, decltype(&::delete_fluid_synth)>;

    const FluidSynthLibrary &m_fluid;
    std::mutex m_renderLock;
    std::atomic<std::uint64_t> m_renderedBlocks{0};
    // In creation order, so that they die in reverse: outputs first.
    Settings m_settings;
    Synth m_synth;
    // Outputs given up, each deleted on a thread of its own.
    std::vector<std::future<void>> m_retiredOutputs;
    std::unique_ptr<Output> m_output;
    std::bitset<MidiChannels / ChannelsPerDevice> m_claimedBlocks;
};

} // namespace quiralto::playback
