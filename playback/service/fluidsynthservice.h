#pragma once

#include "playback/service/audiodriver.h"
#include "playback/service/audiooutput.h"
#include "playback/service/handlerguard.h"
#include "playback/service/mediaservice.h"
#include "playback/service/outputwatch.h"
#include "playback/service/servicemessages.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
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
/// The speakers' output is held only while something plays or is about to:
/// it is made at an open, a play or a preparation, and closed a few seconds
/// after the last device stopped; the synthesizer and its SoundFont are kept.
/// It is watched: when it stops (its sound server went away or hangs), every
/// device that was playing ends as at the end of its file, with its notice,
/// and the next open or play makes a new output on whatever sound server is
/// there then.
///
/// No request waits on the sound server for more than a moment. A play
/// whose output is still being made after that moment goes on waiting for
/// it off the UI thread, and ends, if the output has not come a second
/// later, with a failure notice that carries ErrorNoAudioOutput and its text
/// for the device's own file.
///
/// Not thread-safe: every request comes from the UI thread, where the
/// completion notices also arrive.
class FluidSynthService final : public MediaService
{
public:
    /// The DeviceType answer of a MIDI sequencer.
    static constexpr std::uint32_t SequencerDeviceType = 523;

    /// The General MIDI SoundFonts of this system (Debian's
    /// fluid-soundfont-gm, or the one beside the program on Windows), in the
    /// order they are tried.
    static std::vector<std::string> defaultSoundFonts();

    /// Creates nothing of FluidSynth yet: the synthesizer, its SoundFont (the
    /// first of \a soundFonts that loads) and, for the speakers, its audio
    /// output are made by prepare() or at the first open, whichever comes
    /// first, and kept until destruction.
    explicit FluidSynthService(AudioOutput output = AudioOutput::Speakers,
                               std::vector<std::string> soundFonts = defaultSoundFonts());
    /// Plays through the drivers that \a makeDriver makes instead of
    /// FluidSynth's own.
    explicit FluidSynthService(AudioDriverMaker makeDriver,
                               std::vector<std::string> soundFonts = defaultSoundFonts());
    /// Closes every open device; waits for a preparation still running, and
    /// half a second at most for the outputs to close.
    ~FluidSynthService() override;

    FluidSynthService(const FluidSynthService &) = delete;
    FluidSynthService &operator=(const FluidSynthService &) = delete;

    /// Runs the service's timers and the calls queued to it from its other
    /// threads through \a guard from now on.
    void setHandlerGuard(HandlerGuard guard);

    /// Starts making the synthesizer, loading its SoundFont and beginning its
    /// output on a thread of its own; the next open takes what it made, or
    /// the failure it met.
    void prepare() override;
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
    FluidSynthService(AudioOutput output, AudioDriverMaker makeDriver, std::vector<std::string> soundFonts);

    SynthEngine &engine();
    OutputState requireOutput();
    OutputState settleOutput(std::chrono::milliseconds patience);
    std::function<void()> outputSettledNotice();
    void outputLost();
    void failPlaysWithoutOutput();
    bool anyDevicePlays();
    template <typename Request>
    ErrorCode onDevice(DeviceId device, Request request);
    ErrorCode fail(ErrorCode code, FailedRequest request);
    DeviceId nextDeviceId();

    const AudioOutput m_output;
    const AudioDriverMaker m_makeDriver;
    const std::vector<std::string> m_soundFonts;
    HandlerGuard m_guard;
    // Where the threads that make outputs say that they are done. Before the
    // engine, which stops them telling it anything as it goes.
    QObject m_outputNotices;
    std::future<std::unique_ptr<SynthEngine>> m_preparation;
    std::unique_ptr<SynthEngine> m_engine;
    // After the engine, so that the devices, which use it, go first.
    std::map<DeviceId, std::unique_ptr<SequencerDevice>> m_devices;
    OutputWatch m_outputWatch;
    // Runs while a play waits for an output still being made.
    QTimer m_outputDeadline;
    DeviceId m_lastDeviceId = 0;
    FailedRequest m_lastFailure;
};

} // namespace quiralto::playback
