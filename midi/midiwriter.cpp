#include "midi/midiwriter.h"

#include <initializer_list>
#include <string_view>

namespace quiralto::midi {
namespace {

void appendBigEndian(std::vector<std::uint8_t> &out, std::uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendChunk(std::vector<std::uint8_t> &out, std::string_view id,
                 const std::vector<std::uint8_t> &body)
{
    for (const char c : id)
        out.push_back(static_cast<std::uint8_t>(c));
    appendBigEndian(out, static_cast<std::uint32_t>(body.size()), 4);
    for (const auto b : body)
        out.push_back(b);
}

// The events of one track, each with its delta from the one before.
class TrackWriter
{
public:
    void channelMessage(const MidiEvent &event)
    {
        const auto kind = event.status & 0xF0;
        if (kind == 0xC0 || kind == 0xD0)
            append(event.tick, {event.status, event.data1});
        else
            append(event.tick, {event.status, event.data1, event.data2});
    }

    void tempo(const TempoChange &change)
    {
        const auto t = change.microsecondsPerQuarter;
        append(change.tick, {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(t >> 16),
                             static_cast<std::uint8_t>(t >> 8), static_cast<std::uint8_t>(t)});
    }

    void endOfTrack(std::uint32_t tick) { append(tick, {0xFF, 0x2F, 0x00}); }

    const std::vector<std::uint8_t> &body() const { return m_body; }

private:
    // Deltas never exceed four bytes: readMidiFile bounds every tick by the
    // largest four-byte quantity.
    void append(std::uint32_t tick, std::initializer_list<std::uint8_t> event)
    {
        const auto delta = tick - m_tick;
        m_tick = tick;
        for (int shift = 21; shift > 0; shift -= 7) {
            if (delta >> shift)
                m_body.push_back(static_cast<std::uint8_t>(0x80 | ((delta >> shift) & 0x7F)));
        }
        m_body.push_back(static_cast<std::uint8_t>(delta & 0x7F));
        for (const auto b : event)
            m_body.push_back(b);
    }

    std::vector<std::uint8_t> m_body;
    std::uint32_t m_tick = 0;
};

} // namespace

std::vector<std::uint8_t> writeMidiFile(const MidiFile &midi)
{
    std::vector<std::uint8_t> header;
    appendBigEndian(header, midi.format, 2);
    appendBigEndian(header, static_cast<std::uint32_t>(midi.tracks.size()), 2);
    appendBigEndian(header, midi.division, 2);

    std::vector<std::uint8_t> out;
    appendChunk(out, "MThd", header);
    for (std::size_t t = 0; t < midi.tracks.size(); ++t) {
        TrackWriter track;
        auto tempo = midi.tempoChanges.cbegin();
        const auto tempoEnd = t == 0 ? midi.tempoChanges.cend() : tempo;
        for (const auto &event : midi.tracks[t]) {
            // A tempo change goes before the notes of its own tick, so that
            // they are timed by it.
            for (; tempo != tempoEnd && tempo->tick <= event.tick; ++tempo)
                track.tempo(*tempo);
            track.channelMessage(event);
        }
        for (; tempo != tempoEnd; ++tempo)
            track.tempo(*tempo);
        track.endOfTrack(midi.lastEventTick);
        appendChunk(out, "MTrk", track.body());
    }
    return out;
}

} // namespace quiralto::midi
