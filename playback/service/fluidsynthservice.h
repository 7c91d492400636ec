#pragma once

#include "playback/service/audiooutput.h"
#include "playback/service/mediaservice.h"
#include "playback/service/servicemessages.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quiralto::playback {

class SequencerDevice;
class SynthEngine;

/// Plays MIDI files with FluidSynth: one synthesizer for the whole program,
/// one player on it for each open device.
///
/// Position and length are counted in the file's ticks. A device reports
/// Stopped, with its position at its length, as soon as the file's last
/// event has played; the notes may still be fading then.
///
/// Not thread-safe: every request comes from the UI thread, where the
/// completion notices also arrive.
class FluidSynthService final : public MediaService
{
public:
    /// The DeviceType answer of a MIDI sequencer.
    static constexpr std::uint32_t SequencerDeviceType = 523;

    /// The General MIDI SoundFonts of Debian's fluid-soundfont-gm package,
    /// in the order they are tried.
    static std::vector<std::string> defaultSoundFonts();

    /// Creates nothing of FluidSynth yet: the synthesizer, its SoundFont (the
    /// first of \a soundFonts that loads) and, for the speakers, its audio
    /// output are made at the first open and kept until destruction.
    explicit FluidSynthService(AudioOutput output = AudioOutput::Speakers,
                               std::vector<std::string> soundFonts = defaultSoundFonts());
    /// Closes every open device.
    ~FluidSynthService() override;

    FluidSynthService(const FluidSynthService &) = delete;
    FluidSynthService &operator=(const FluidSynthService &) = delete;

    ErrorCode open(const std::string &fileName, DeviceId &device) override;
    ErrorCode capability(DeviceId device, Capability item, std::uint32_t &answer) override;
    ErrorCode whereSource(DeviceId device) override;
    ErrorCode mode(DeviceId device, DeviceMode &mode) override;
    ErrorCode position(DeviceId device, std::uint32_t &position) override;
    ErrorCode length(DeviceId device, std::uint32_t &length) override;
    ErrorCode seekToStart(DeviceId device) override;
    ErrorCode play(DeviceId device, QObject *notifyTarget) override;
    ErrorCode close(DeviceId device) override;
    std::optional<std::string> errorText(ErrorCode code) const override;

    /// Offline output only: renders the next \a frames of the synthesizer
    /// into \a interleavedStereo (left, right, left, ...) at OutputSampleRate,
    /// advancing every playing device, and so its position and its completion
    /// notice, as the speakers would in that time. Silence before the first
    /// open.
    void renderFrames(int frames, std::vector<float> &interleavedStereo);

private:
    SequencerDevice *find(DeviceId device) const;
    ErrorCode fail(ErrorCode code, FailedRequest request);
    ErrorCode failOn(DeviceId device, ErrorCode code);
    DeviceId nextDeviceId();

    const AudioOutput m_output;
    const std::vector<std::string> m_soundFonts;
    std::unique_ptr<SynthEngine> m_engine;
    // After the engine, so that the devices, which use it, go first.
    std::map<DeviceId, std::unique_ptr<SequencerDevice>> m_devices;
    DeviceId m_lastDeviceId = 0;
    FailedRequest m_lastFailure;
};

} // namespace quiralto::playback
