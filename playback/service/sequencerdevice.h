#pragma once

#include "midi/midifile.h"
#include "playback/service/fluidsynthlibrary.h"
#include "playback/service/handlerguard.h"
#include "playback/service/medianotifyevent.h"
#include "playback/service/mediaservice.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quiralto::playback {

class SynthEngine;

// One open MIDI file: a FluidSynth player on the shared synthesizer, and the
// play requests made of it. Lives on the UI thread; the player's callbacks
// run on the audio thread and only touch its atomics and queue a wake-up.
class SequencerDevice : public QObject
{
public:
    // Throws RequestRefused(ErrorSynthesizer) when the synthesizer has no
    // room or refuses a player. What the audio thread wakes it for runs
    // through \a guard.
    SequencerDevice(DeviceId id, std::string fileName, SynthEngine &engine, const midi::MidiFile &midi,
                    const HandlerGuard &guard);
    // Aborts a pending play request and silences the device at once.
    ~SequencerDevice() override;

    const std::string &fileName() const { return m_fileName; }
    DeviceMode mode();
    std::uint32_t position();
    std::uint32_t length() const { return m_length; }
    ErrorCode seekToStart();
    ErrorCode play(QObject *notifyTarget);
    // The output that played the device's sound is gone, or the one it was
    // to play on never came: a play request still running ends, with a
    // failure notice that carries \a error and its text for this device's
    // file, as if the file had played to its end, so that the next one
    // starts it over, and nothing of it sounds in the next output.
    void outputLost(ErrorCode error);

private:
    // What the audio thread shares with the UI thread about one player.
    struct Progress
    {
        SequencerDevice *device;
        const FluidSynthLibrary &fluid;
        fluid_synth_t *synth;
        int firstChannel;
        std::uint32_t endTick;
        std::atomic<int> tick{0};
        std::atomic<bool> ended{false};
    };
    using Player = std::unique_ptr<fluid_player_t, decltype(&::delete_fluid_player)>;

    static int forwardEvent(void *progress, fluid_midi_event_t *event) noexcept;
    static int tickReached(void *progress, int tick) noexcept;

    void startOver();
    void stopPlayer(fluid_synth_t *synth);
    void catchUp();
    void notify(MediaNotifyEvent::Reason reason, ErrorCode error = NoError);

    const DeviceId m_id;
    const std::string m_fileName;
    SynthEngine &m_engine;
    const HandlerGuard &m_guard;
    const std::uint32_t m_length;
    const std::vector<std::uint8_t> m_playable;
    int m_firstChannel = -1;
    std::unique_ptr<Progress> m_progress;
    Player m_player;
    DeviceMode m_mode = DeviceMode::Stopped;
    bool m_atEnd = false;
    QPointer<QObject> m_notifyTarget;
};

} // namespace quiralto::playback
