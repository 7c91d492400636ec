#include "playback/service/sequencerdevice.h"

#include "midi/midiwriter.h"
#include "playback/service/requestrefused.h"
#include "playback/service/servicemessages.h"
#include "playback/service/synthengine.h"

#include <QCoreApplication>

#include <algorithm>

namespace quiralto::playback {
namespace {

bool playsOnDrumChannel(const midi::MidiFile &midi)
{
    constexpr int DrumChannel = 9;  // as General MIDI has it
    for (const auto &track : midi.tracks) {
        for (const midi::MidiEvent &event : track) {
            if ((event.status & 0x0F) == DrumChannel)
                return true;
        }
    }
    return false;
}

} // namespace

// FluidSynth is handed our own rewrite of the checked file, never the bytes
// as read: its reader refuses some well-formed files (a longer header, F7
// events), and what it does not read as we do would play for a length other
// than ours.
SequencerDevice::SequencerDevice(DeviceId id, std::string fileName, SynthEngine &engine,
                                 const midi::MidiFile &midi, const HandlerGuard &guard)
    : m_id(id), m_fileName(std::move(fileName)), m_engine(engine), m_guard(guard),
      m_length(midi.lastEventTick), m_playable(midi::writeMidiFile(midi)),
      m_player(nullptr, engine.fluid().delete_fluid_player)
{
    const auto channels = m_engine.claimChannels(playsOnDrumChannel(midi));
    if (!channels)
        throw RequestRefused(ErrorSynthesizer);
    m_firstChannel = *channels;
    try {
        startOver();
    } catch (const RequestRefused &) {
        m_engine.releaseChannels(m_firstChannel);
        throw;
    }
}

SequencerDevice::~SequencerDevice()
{
    catchUp();
    if (m_mode == DeviceMode::Playing)
        notify(MediaNotifyEvent::Reason::Aborted);
    m_engine.withSynth([this](fluid_synth_t *synth) { stopPlayer(synth); });
    m_engine.releaseChannels(m_firstChannel);
}

DeviceMode SequencerDevice::mode()
{
    catchUp();
    return m_mode;
}

std::uint32_t SequencerDevice::position()
{
    catchUp();
    if (m_atEnd)
        return m_length;
    // The player's tick runs on past the last event while the notes decay.
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(m_progress->tick.load(), 0, m_length));
}

ErrorCode SequencerDevice::seekToStart()
{
    catchUp();
    if (m_mode == DeviceMode::Playing)
        notify(MediaNotifyEvent::Reason::Aborted);
    // A FluidSynth player that has reached its end plays nothing more after
    // a seek, so the device starts over with a new one.
    try {
        startOver();
    } catch (const RequestRefused &refused) {
        return refused.code();
    }
    return NoError;
}

ErrorCode SequencerDevice::play(QObject *notifyTarget)
{
    catchUp();
    if (m_mode == DeviceMode::Playing) {
        notify(MediaNotifyEvent::Reason::Superseded);
        m_notifyTarget = notifyTarget;
        return NoError;
    }
    if (m_atEnd) {
        // Nothing is left to play: the request is over as soon as made.
        m_notifyTarget = notifyTarget;
        notify(MediaNotifyEvent::Reason::Successful);
        return NoError;
    }
    if (!m_player)
        return ErrorSynthesizer;
    const bool started = m_engine.withSynth(
        [this](fluid_synth_t *) { return m_engine.fluid().fluid_player_play(m_player.get()) == FLUID_OK; });
    if (!started)
        return ErrorSynthesizer;
    m_mode = DeviceMode::Playing;
    m_notifyTarget = notifyTarget;
    return NoError;
}

void SequencerDevice::outputLost(ErrorCode error)
{
    catchUp();
    if (m_mode != DeviceMode::Playing)
        return;
    m_engine.withSynth([this](fluid_synth_t *synth) { stopPlayer(synth); });
    m_mode = DeviceMode::Stopped;
    m_atEnd = true;
    notify(MediaNotifyEvent::Reason::Failure, error);
}

void SequencerDevice::startOver()
{
    m_mode = DeviceMode::Stopped;
    m_atEnd = false;
    const FluidSynthLibrary &fluid = m_engine.fluid();
    m_engine.withSynth([this, &fluid](fluid_synth_t *synth) {
        stopPlayer(synth);
        // The old player, the only user of the old progress, is gone.
        // Braces, not make_unique: clang before 16, which builds the fuzzer,
        // cannot initialise an aggregate from parentheses.
        m_progress.reset(new Progress{this, fluid, synth, m_firstChannel, m_length});
        m_player.reset(fluid.new_fluid_player(synth));
        if (!m_player)
            throw RequestRefused(ErrorSynthesizer);
        fluid.fluid_player_set_playback_callback(m_player.get(), &SequencerDevice::forwardEvent, m_progress.get());
        fluid.fluid_player_set_tick_callback(m_player.get(), &SequencerDevice::tickReached, m_progress.get());
        if (fluid.fluid_player_add_mem(m_player.get(), m_playable.data(), m_playable.size()) != FLUID_OK) {
            m_player.reset();
            throw RequestRefused(ErrorSynthesizer);
        }
    });
}

// Deleting a player leaves the notes it started sounding, so its channels
// are silenced with it.
void SequencerDevice::stopPlayer(fluid_synth_t *synth)
{
    if (!m_player)
        return;
    m_engine.fluid().fluid_player_stop(m_player.get());
    for (int channel = m_firstChannel; channel < m_firstChannel + SynthEngine::ChannelsPerDevice; ++channel)
        m_engine.fluid().fluid_synth_all_sounds_off(synth, channel);
    m_player.reset();
}

// The audio thread only raises a flag; the device turns it into its new mode
// and the notice here, on the UI thread, whenever it is next asked or woken.
void SequencerDevice::catchUp()
{
    if (m_mode == DeviceMode::Playing && m_progress->ended.load()) {
        m_mode = DeviceMode::Stopped;
        m_atEnd = true;
        notify(MediaNotifyEvent::Reason::Successful);
    }
}

void SequencerDevice::notify(MediaNotifyEvent::Reason reason, ErrorCode error)
{
    if (m_notifyTarget) {
        auto text = error == NoError ? std::nullopt : serviceErrorText(error, {m_fileName, {}});
        QCoreApplication::postEvent(m_notifyTarget, new MediaNotifyEvent(m_id, reason, error, std::move(text)));
    }
    m_notifyTarget.clear();
}

// Audio thread. Moves the file's channels onto the device's own block.
int SequencerDevice::forwardEvent(void *progress, fluid_midi_event_t *event) noexcept
{
    const auto &shared = *static_cast<const Progress *>(progress);
    // Only channel messages pass: one for the whole synthesizer would reach
    // the other devices' notes.
    const FluidSynthLibrary &fluid = shared.fluid;
    const int type = fluid.fluid_midi_event_get_type(event);
    if (type < 0x80 || type >= 0xF0)
        return FLUID_OK;
    // The event stays in the player's track, so its channel is put back.
    const int channel = fluid.fluid_midi_event_get_channel(event);
    fluid.fluid_midi_event_set_channel(event, shared.firstChannel + channel);
    const int result = fluid.fluid_synth_handle_midi_event(shared.synth, event);
    fluid.fluid_midi_event_set_channel(event, channel);
    return result;
}

// Audio thread. The file has played when the player's tick reaches its last
// event; the player itself reports done only seconds later.
int SequencerDevice::tickReached(void *progress, int tick) noexcept
{
    auto &shared = *static_cast<Progress *>(progress);
    shared.tick.store(tick);
    if (tick >= 0 && static_cast<std::uint32_t>(tick) >= shared.endTick && !shared.ended.exchange(true)) {
        QMetaObject::invokeMethod(
            shared.device, [device = shared.device] { device->m_guard([device] { device->catchUp(); }); },
            Qt::QueuedConnection);
    }
    return FLUID_OK;
}

} // namespace quiralto::playback
