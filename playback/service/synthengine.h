#pragma once

#include "playback/service/audiooutput.h"

#include <fluidsynth.h>

#include <bitset>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quiralto::playback {

// The one synthesizer of the program, its SoundFont and, for the speakers,
// its audio driver. Devices share it, each on a block of 16 channels of its
// own, so that one device's notes, programs and controllers never touch
// another's.
class SynthEngine
{
public:
    static constexpr int ChannelsPerDevice = 16;
    // The most FluidSynth allows: room for 16 devices at once.
    static constexpr int MidiChannels = 256;

    // Throws RequestRefused with ErrorNoSoundFont, ErrorNoAudioOutput or
    // ErrorSynthesizer.
    SynthEngine(const std::vector<std::string> &soundFonts, AudioOutput output);
    ~SynthEngine();

    SynthEngine(const SynthEngine &) = delete;
    SynthEngine &operator=(const SynthEngine &) = delete;

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
    static int renderForDriver(void *engine, int frames, int nfx, float *fx[], int nout, float *out[]);
    int renderBlock(int frames, int nout, float *out[]);

    using Settings = std::unique_ptr<fluid_settings_t, decltype(&delete_fluid_settings)>;
    using Synth = std::unique_ptr<fluid_synth_t, decltype(&delete_fluid_synth)>;
    using Driver = std::unique_ptr<fluid_audio_driver_t, decltype(&delete_fluid_audio_driver)>;

    std::mutex m_renderLock;
    // In creation order, so that they die in reverse: the driver first.
    Settings m_settings;
    Synth m_synth;
    Driver m_driver;
    std::bitset<MidiChannels / ChannelsPerDevice> m_claimedBlocks;
};

} // namespace quiralto::playback
