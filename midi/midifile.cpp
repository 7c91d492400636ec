#include "midi/midifile.h"

#include "model/latin1.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

namespace quiralto::midi {
namespace {

[[noreturn]] void refuse(std::string_view reason)
{
    throw MidiFormatError(model::latin1(reason));
}

// The synthesizer's player keeps at most 128 tracks and would drop the rest
// without a word, so a file with more could never sound as written.
constexpr std::uint16_t MaxTracks = 128;

// The largest value a four-byte variable-length quantity holds. Bounding the
// whole file by it lets a writer reach the end of any track with one delta,
// and keeps every tick far from the player's signed overflow.
constexpr std::uint32_t MaxTick = 0x0FFFFFFF;

// Meta events whose data length the standard fixes.
struct FixedMetaLength
{
    std::uint8_t type;
    std::uint32_t length;
};
constexpr std::array<FixedMetaLength, 7> FixedMetaLengths{{
    {0x20, 1}, // channel prefix
    {0x21, 1}, // port
    {0x2F, 0}, // end of track
    {0x51, 3}, // set tempo
    {0x54, 5}, // SMPTE offset
    {0x58, 4}, // time signature
    {0x59, 2}, // key signature
}};
constexpr std::uint8_t MetaEndOfTrack = 0x2F;
constexpr std::uint8_t MetaSetTempo = 0x51;

// Every read is checked against the end of its span: the bytes come from
// files we do not control.
class ByteReader
{
public:
    ByteReader(std::span<const std::uint8_t> bytes, std::string_view truncated)
        : m_bytes(bytes), m_truncated(truncated) {}

    bool atEnd() const { return m_position == m_bytes.size(); }
    std::size_t remaining() const { return m_bytes.size() - m_position; }

    std::span<const std::uint8_t> take(std::size_t count)
    {
        if (count > remaining())
            refuse(m_truncated);
        const auto taken = m_bytes.subspan(m_position, count);
        m_position += count;
        return taken;
    }

    std::uint8_t byte() { return take(1)[0]; }

    std::uint32_t bigEndian(std::size_t count)
    {
        std::uint32_t value = 0;
        for (const auto b : take(count))
            value = (value << 8) | b;
        return value;
    }

    std::uint32_t variableLength()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto b = byte();
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80u) == 0)
                return value;
        }
        refuse("número de tamanho variável com mais de 4 bytes");
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::string_view m_truncated;
    std::size_t m_position = 0;
};

std::string_view asText(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

struct Chunk
{
    std::string_view id;
    std::span<const std::uint8_t> data;
};

Chunk readChunk(ByteReader &file)
{
    const auto id = file.take(4);
    if (!std::all_of(id.begin(), id.end(), [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; }))
        refuse("identificador de bloco inválido");
    const auto length = file.bigEndian(4);
    if (length > file.remaining())
        refuse("um bloco ultrapassa o fim do arquivo");
    return {asText(id), file.take(length)};
}

class TrackReader
{
public:
    TrackReader(std::span<const std::uint8_t> data, MidiFile &midi)
        : m_data(data, "a faixa termina no meio de um evento"), m_midi(midi),
          m_events(midi.tracks.emplace_back()) {}

    void read()
    {
        while (!m_data.atEnd()) {
            if (m_ended)
                refuse("há eventos depois do fim da faixa");
            readEvent();
        }
        if (!m_ended)
            refuse("a faixa não termina com o evento de fim de faixa");
    }

private:
    void readEvent()
    {
        m_tick += m_data.variableLength();
        if (m_tick > MaxTick)
            refuse("o arquivo é longo demais");
        m_midi.lastEventTick = std::max(m_midi.lastEventTick, m_tick);

        const auto first = m_data.byte();
        if (first < 0x80) {
            // Running status: the byte is the first data byte of a message
            // that repeats the previous channel status.
            if (m_runningStatus == 0)
                refuse("byte de dados sem status em vigor");
            readChannelMessage(m_runningStatus, first);
        } else if (first < 0xF0) {
            m_runningStatus = first;
            readChannelMessage(first, m_data.byte());
        } else {
            // Meta and system exclusive events cancel running status.
            m_runningStatus = 0;
            if (first == 0xFF)
                readMeta();
            else if (first == 0xF0 || first == 0xF7)
                m_data.take(m_data.variableLength());
            else
                refuse("status de mensagem de sistema não permitido em arquivo");
        }
    }

    void readChannelMessage(std::uint8_t status, std::uint8_t data1)
    {
        const auto kind = status & 0xF0;
        const bool oneDataByte = kind == 0xC0 || kind == 0xD0;
        const std::uint8_t data2 = oneDataByte ? 0 : m_data.byte();
        if (data1 >= 0x80 || data2 >= 0x80)
            refuse("byte de dados acima de 127");
        m_events.push_back({m_tick, status, data1, data2});
    }

    void readMeta()
    {
        const auto type = m_data.byte();
        if (type >= 0x80)
            refuse("tipo de evento meta inválido");
        const auto data = m_data.take(m_data.variableLength());
        const auto fixed = std::find_if(FixedMetaLengths.begin(), FixedMetaLengths.end(),
                                        [type](const FixedMetaLength &m) { return m.type == type; });
        if (fixed != FixedMetaLengths.end() && data.size() != fixed->length)
            refuse("evento meta com tamanho errado");

        if (type == MetaEndOfTrack) {
            m_ended = true;
        } else if (type == MetaSetTempo) {
            const auto tempo = (std::uint32_t{data[0]} << 16) | (std::uint32_t{data[1]} << 8) | data[2];
            // A tempo of zero would make every tick take no time at all.
            if (tempo == 0)
                refuse("andamento nulo");
            m_midi.tempoChanges.push_back({m_tick, tempo});
        }
    }

    ByteReader m_data;
    MidiFile &m_midi;
    std::vector<MidiEvent> &m_events;
    std::uint32_t m_tick = 0;
    std::uint8_t m_runningStatus = 0;
    bool m_ended = false;
};

} // namespace

MidiFile readMidiFile(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > MaxMidiFileSize)
        refuse("o arquivo tem mais de 1 MiB");

    if (bytes.size() < 4 || asText(bytes.first(4)) != "MThd")
        refuse("falta o cabeçalho MThd");
    ByteReader file(bytes, "o arquivo termina no meio de um bloco");
    const auto header = readChunk(file).data;
    if (header.size() < 6)
        refuse("o cabeçalho MThd é curto demais");

    // Fields past the sixth byte belong to later versions of the standard,
    // which a reader must skip.
    ByteReader fields(header, "o cabeçalho MThd é curto demais");
    MidiFile midi;
    midi.format = static_cast<std::uint16_t>(fields.bigEndian(2));
    const auto trackCount = static_cast<std::uint16_t>(fields.bigEndian(2));
    midi.division = static_cast<std::uint16_t>(fields.bigEndian(2));

    if (midi.format > 2)
        refuse("formato de arquivo MIDI desconhecido");
    if (trackCount == 0)
        refuse("o arquivo não declara nenhuma faixa");
    if (midi.format == 0 && trackCount != 1)
        refuse("o formato 0 tem uma única faixa");
    if (trackCount > MaxTracks)
        refuse("o arquivo tem mais de 128 faixas");
    if (midi.division & 0x8000)
        refuse("divisão de tempo SMPTE não é aceita");
    if (midi.division == 0)
        refuse("divisão de tempo nula");

    while (!file.atEnd()) {
        const auto chunk = readChunk(file);
        if (chunk.id != "MTrk")
            continue; // unknown chunks are for other readers
        if (midi.tracks.size() == trackCount)
            refuse("o arquivo tem mais faixas do que o cabeçalho declara");
        TrackReader(chunk.data, midi).read();
    }
    if (midi.tracks.size() < trackCount)
        refuse("o arquivo tem menos faixas do que o cabeçalho declara");

    std::stable_sort(midi.tempoChanges.begin(), midi.tempoChanges.end(),
                     [](const TempoChange &a, const TempoChange &b) { return a.tick < b.tick; });
    return midi;
}

} // namespace quiralto::midi
