#include "tools/soundfont.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace quiralto::tools::soundfont {

namespace {

// Little-endian fields, read in order; reading past the end is a FormatError.
class ByteReader
{
public:
    ByteReader(std::span<const std::uint8_t> bytes, std::string_view what) : m_bytes(bytes), m_what(what) {}

    std::span<const std::uint8_t> take(std::size_t count)
    {
        if (count > m_bytes.size() - m_offset)
            throw FormatError(std::string(m_what) + " ends early");
        const auto taken = m_bytes.subspan(m_offset, count);
        m_offset += count;
        return taken;
    }
    std::uint8_t u8() { return take(1)[0]; }
    std::uint16_t u16()
    {
        const auto b = take(2);
        return std::uint16_t(b[0] | b[1] << 8);
    }
    std::uint32_t u32()
    {
        const auto b = take(4);
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    }
    std::string_view id() { return asText(take(4)); }
    Name name()
    {
        Name name;
        std::ranges::copy(take(name.size()), name.begin());
        return name;
    }
    bool atEnd() const { return m_offset == m_bytes.size(); }

    static std::string_view asText(std::span<const std::uint8_t> bytes)
    {
        return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::string_view m_what;
    std::size_t m_offset = 0;
};

struct Chunk
{
    std::string_view id;
    std::span<const std::uint8_t> body;
};

// The chunks that follow one another in \a bytes, each padded to an even size.
std::vector<Chunk> chunksIn(std::span<const std::uint8_t> bytes, std::string_view where)
{
    std::vector<Chunk> chunks;
    ByteReader reader(bytes, where);
    while (!reader.atEnd()) {
        Chunk chunk;
        chunk.id = reader.id();
        const std::uint32_t size = reader.u32();
        chunk.body = reader.take(size);
        if (size % 2 && !reader.atEnd())
            reader.take(1);
        chunks.push_back(chunk);
    }
    return chunks;
}

const Chunk *findChunk(const std::vector<Chunk> &chunks, std::string_view id)
{
    const auto found = std::ranges::find(chunks, id, &Chunk::id);
    return found == chunks.end() ? nullptr : &*found;
}

std::span<const std::uint8_t> requireChunk(const std::vector<Chunk> &chunks, std::string_view id)
{
    if (const Chunk *chunk = findChunk(chunks, id))
        return chunk->body;
    throw FormatError("no " + std::string(id) + " chunk");
}

// What follows the type in the LIST chunk of type \a type: its sub-chunks.
std::span<const std::uint8_t> listBody(const std::vector<Chunk> &chunks, std::string_view type)
{
    for (const Chunk &chunk : chunks)
        if (chunk.id == "LIST" && chunk.body.size() >= 4 && ByteReader::asText(chunk.body.first(4)) == type)
            return chunk.body.subspan(4);
    throw FormatError("no " + std::string(type) + " list");
}

// The records of a hydra chunk, its terminal record included.
template <typename Record, typename ReadRecord>
std::vector<Record> recordsOf(const std::vector<Chunk> &hydra, std::string_view id, std::size_t size,
                              ReadRecord readRecord)
{
    const auto body = requireChunk(hydra, id);
    if (body.empty() || body.size() % size)
        throw FormatError(std::string(id) + " is not a whole number of records");
    ByteReader reader(body, id);
    std::vector<Record> records;
    while (!reader.atEnd())
        records.push_back(readRecord(reader));
    return records;
}

struct Bag
{
    std::uint16_t generator;
    std::uint16_t modulator;
};

void requireRange(std::size_t first, std::size_t last, std::size_t count, std::string_view what)
{
    if (first > last || last > count)
        throw FormatError(std::string(what) + " indices out of order or out of range");
}

// The zones of bags [first, last): each bag's generators and modulators run
// up to where the next bag's begin. The last record of every list is its
// terminal record, owned by no zone.
std::vector<Zone> zonesOf(const std::vector<Bag> &bags, std::size_t first, std::size_t last,
                          const std::vector<Generator> &generators, const std::vector<Modulator> &modulators,
                          std::string_view what)
{
    requireRange(first, last, bags.size() - 1, what);
    std::vector<Zone> zones;
    for (std::size_t bag = first; bag < last; ++bag) {
        const Bag &from = bags[bag], &to = bags[bag + 1];
        requireRange(from.generator, to.generator, generators.size() - 1, what);
        requireRange(from.modulator, to.modulator, modulators.size() - 1, what);
        zones.push_back({{generators.begin() + from.generator, generators.begin() + to.generator},
                         {modulators.begin() + from.modulator, modulators.begin() + to.modulator}});
    }
    return zones;
}

// Checks that every generator of \a operation in \a zones names one of
// \a count items.
void requireIndices(const std::vector<Zone> &zones, std::uint16_t operation, std::size_t count,
                    std::string_view what)
{
    for (const Zone &zone : zones)
        for (const Generator &generator : zone.generators)
            if (generator.operation == operation && generator.amount >= count)
                throw FormatError(std::string(what) + " names a missing item");
}

Bag readBag(ByteReader &r) { return {r.u16(), r.u16()}; }
Generator readGenerator(ByteReader &r) { return {r.u16(), r.u16()}; }
Modulator readModulator(ByteReader &r) { return {r.u16(), r.u16(), std::int16_t(r.u16()), r.u16(), r.u16()}; }

std::vector<Preset> readPresets(const std::vector<Chunk> &hydra, std::size_t instrumentCount)
{
    struct Header
    {
        Preset preset;
        std::uint16_t bag;
    };
    const auto headers = recordsOf<Header>(hydra, "phdr", 38, [](ByteReader &r) {
        Header h;
        h.preset.name = r.name();
        h.preset.program = r.u16();
        h.preset.bank = r.u16();
        h.bag = r.u16();
        h.preset.library = r.u32();
        h.preset.genre = r.u32();
        h.preset.morphology = r.u32();
        return h;
    });
    const auto bags = recordsOf<Bag>(hydra, "pbag", 4, readBag);
    const auto generators = recordsOf<Generator>(hydra, "pgen", 4, readGenerator);
    const auto modulators = recordsOf<Modulator>(hydra, "pmod", 10, readModulator);
    std::vector<Preset> presets;
    for (std::size_t i = 0; i + 1 < headers.size(); ++i) {
        Preset preset = headers[i].preset;
        preset.zones = zonesOf(bags, headers[i].bag, headers[i + 1].bag, generators, modulators, "phdr");
        requireIndices(preset.zones, InstrumentIndex, instrumentCount, "a preset zone");
        presets.push_back(std::move(preset));
    }
    return presets;
}

std::vector<Instrument> readInstruments(const std::vector<Chunk> &hydra, std::size_t sampleCount)
{
    struct Header
    {
        Name name;
        std::uint16_t bag;
    };
    const auto headers = recordsOf<Header>(hydra, "inst", 22, [](ByteReader &r) {
        const Name name = r.name();
        return Header{name, r.u16()};
    });
    const auto bags = recordsOf<Bag>(hydra, "ibag", 4, readBag);
    const auto generators = recordsOf<Generator>(hydra, "igen", 4, readGenerator);
    const auto modulators = recordsOf<Modulator>(hydra, "imod", 10, readModulator);
    std::vector<Instrument> instruments;
    for (std::size_t i = 0; i + 1 < headers.size(); ++i) {
        Instrument instrument{headers[i].name, {}};
        instrument.zones = zonesOf(bags, headers[i].bag, headers[i + 1].bag, generators, modulators, "inst");
        requireIndices(instrument.zones, SampleIndex, sampleCount, "an instrument zone");
        instruments.push_back(std::move(instrument));
    }
    return instruments;
}

std::vector<Sample> readSamples(const std::vector<Chunk> &hydra, std::size_t pointCount)
{
    auto samples = recordsOf<Sample>(hydra, "shdr", 46, [](ByteReader &r) {
        Sample s;
        s.name = r.name();
        s.start = r.u32();
        s.end = r.u32();
        s.loopStart = r.u32();
        s.loopEnd = r.u32();
        s.sampleRate = r.u32();
        s.originalPitch = r.u8();
        s.pitchCorrection = std::int8_t(r.u8());
        s.link = r.u16();
        s.type = r.u16();
        return s;
    });
    samples.pop_back();
    for (const Sample &sample : samples)
        if (!(sample.type & RomSample) && (sample.start > sample.end || sample.end > pointCount))
            throw FormatError("a sample lies outside the sample data");
    return samples;
}

// Little-endian fields appended in order.
class ByteWriter
{
public:
    void u8(std::uint8_t value) { m_bytes.push_back(value); }
    void u16(std::uint16_t value)
    {
        u8(std::uint8_t(value));
        u8(std::uint8_t(value >> 8));
    }
    void u32(std::uint32_t value)
    {
        u16(std::uint16_t(value));
        u16(std::uint16_t(value >> 16));
    }
    void bytes(std::span<const std::uint8_t> bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }
    void text(std::string_view text) { bytes({reinterpret_cast<const std::uint8_t *>(text.data()), text.size()}); }
    void name(const Name &name) { text({name.data(), name.size()}); }
    void chunk(std::string_view id, std::span<const std::uint8_t> body)
    {
        if (body.size() > std::numeric_limits<std::uint32_t>::max())
            throw FormatError(std::string(id) + " too large for a RIFF chunk");
        text(id);
        u32(std::uint32_t(body.size()));
        bytes(body);
        if (body.size() % 2)
            u8(0);
    }
    void list(std::string_view type, const ByteWriter &chunks)
    {
        ByteWriter body;
        body.text(type);
        body.bytes(chunks.m_bytes);
        chunk("LIST", body.m_bytes);
    }
    const std::vector<std::uint8_t> &written() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

std::uint16_t index16(std::size_t index)
{
    if (index > std::numeric_limits<std::uint16_t>::max())
        throw FormatError("too many records for a SoundFont 2 file");
    return std::uint16_t(index);
}

// The bag, generator and modulator chunks of presets or of instruments.
class ZoneWriter
{
public:
    // The bag index of the next zone, for its owner's header.
    std::uint16_t nextBag() const { return index16(m_bagCount); }

    void add(const std::vector<Zone> &zones)
    {
        for (const Zone &zone : zones) {
            writeBag();
            for (const Generator &generator : zone.generators) {
                m_generators.u16(generator.operation);
                m_generators.u16(generator.amount);
            }
            for (const Modulator &modulator : zone.modulators)
                writeModulator(m_modulators, modulator);
            m_generatorCount += zone.generators.size();
            m_modulatorCount += zone.modulators.size();
        }
    }

    // Ends each chunk with its terminal record and appends the three, in the
    // file's order, bags first.
    void finish(ByteWriter &hydra, std::string_view bagId, std::string_view modulatorId, std::string_view generatorId)
    {
        writeBag();
        writeModulator(m_modulators, {});
        m_generators.u32(0);
        hydra.chunk(bagId, m_bags.written());
        hydra.chunk(modulatorId, m_modulators.written());
        hydra.chunk(generatorId, m_generators.written());
    }

private:
    void writeBag()
    {
        m_bags.u16(index16(m_generatorCount));
        m_bags.u16(index16(m_modulatorCount));
        ++m_bagCount;
    }
    static void writeModulator(ByteWriter &out, const Modulator &m)
    {
        out.u16(m.source);
        out.u16(m.destination);
        out.u16(std::uint16_t(m.amount));
        out.u16(m.amountSource);
        out.u16(m.transform);
    }

    ByteWriter m_bags, m_modulators, m_generators;
    std::size_t m_bagCount = 0, m_generatorCount = 0, m_modulatorCount = 0;
};

Name terminalName(std::string_view text)
{
    Name name{};
    std::ranges::copy(text, name.begin());
    return name;
}

void writePresets(ByteWriter &hydra, const std::vector<Preset> &presets)
{
    ByteWriter headers;
    ZoneWriter zones;
    auto header = [&](const Preset &preset) {
        headers.name(preset.name);
        headers.u16(preset.program);
        headers.u16(preset.bank);
        headers.u16(zones.nextBag());
        headers.u32(preset.library);
        headers.u32(preset.genre);
        headers.u32(preset.morphology);
    };
    for (const Preset &preset : presets) {
        header(preset);
        zones.add(preset.zones);
    }
    header({terminalName("EOP"), 0, 0, 0, 0, 0, {}});
    hydra.chunk("phdr", headers.written());
    zones.finish(hydra, "pbag", "pmod", "pgen");
}

void writeInstruments(ByteWriter &hydra, const std::vector<Instrument> &instruments)
{
    ByteWriter headers;
    ZoneWriter zones;
    auto header = [&](const Name &name) {
        headers.name(name);
        headers.u16(zones.nextBag());
    };
    for (const Instrument &instrument : instruments) {
        header(instrument.name);
        zones.add(instrument.zones);
    }
    header(terminalName("EOI"));
    hydra.chunk("inst", headers.written());
    zones.finish(hydra, "ibag", "imod", "igen");
}

void writeSamples(ByteWriter &hydra, const std::vector<Sample> &samples)
{
    ByteWriter headers;
    auto header = [&](const Sample &s) {
        headers.name(s.name);
        headers.u32(s.start);
        headers.u32(s.end);
        headers.u32(s.loopStart);
        headers.u32(s.loopEnd);
        headers.u32(s.sampleRate);
        headers.u8(s.originalPitch);
        headers.u8(std::uint8_t(s.pitchCorrection));
        headers.u16(s.link);
        headers.u16(s.type);
    };
    for (const Sample &sample : samples)
        header(sample);
    header({terminalName("EOS"), 0, 0, 0, 0, 0, 0, 0, 0, 0});
    hydra.chunk("shdr", headers.written());
}

} // namespace

SoundFont read(std::span<const std::uint8_t> file)
{
    ByteReader riff(file, "the file");
    if (riff.id() != "RIFF")
        throw FormatError("not a RIFF file");
    const auto form = riff.take(riff.u32());
    if (form.size() < 4 || ByteReader::asText(form.first(4)) != "sfbk")
        throw FormatError("not a SoundFont 2 file");
    const auto lists = chunksIn(form.subspan(4), "the RIFF chunk");

    SoundFont soundFont;
    const auto info = listBody(lists, "INFO");
    soundFont.info.assign(info.begin(), info.end());

    const auto sampleData = chunksIn(listBody(lists, "sdta"), "sdta");
    const auto points = requireChunk(sampleData, "smpl");
    if (points.size() % 2)
        throw FormatError("smpl holds an odd number of bytes");
    ByteReader pointReader(points, "smpl");
    soundFont.samplePoints.resize(points.size() / 2);
    for (std::int16_t &point : soundFont.samplePoints)
        point = std::int16_t(pointReader.u16());
    if (const Chunk *lowBytes = findChunk(sampleData, "sm24")) {
        if (lowBytes->body.size() < soundFont.samplePoints.size())
            throw FormatError("sm24 is shorter than smpl");
        soundFont.lowBytes.assign(lowBytes->body.begin(), lowBytes->body.begin() + soundFont.samplePoints.size());
    }

    const auto hydra = chunksIn(listBody(lists, "pdta"), "pdta");
    soundFont.samples = readSamples(hydra, soundFont.samplePoints.size());
    soundFont.instruments = readInstruments(hydra, soundFont.samples.size());
    soundFont.presets = readPresets(hydra, soundFont.instruments.size());
    return soundFont;
}

std::vector<std::uint8_t> write(const SoundFont &soundFont)
{
    ByteWriter info, sampleData, hydra;
    info.bytes(soundFont.info);

    ByteWriter points;
    for (std::int16_t point : soundFont.samplePoints)
        points.u16(std::uint16_t(point));
    sampleData.chunk("smpl", points.written());
    if (!soundFont.lowBytes.empty())
        sampleData.chunk("sm24", soundFont.lowBytes);

    writePresets(hydra, soundFont.presets);
    writeInstruments(hydra, soundFont.instruments);
    writeSamples(hydra, soundFont.samples);

    ByteWriter form;
    form.text("sfbk");
    form.list("INFO", info);
    form.list("sdta", sampleData);
    form.list("pdta", hydra);
    ByteWriter file;
    file.chunk("RIFF", form.written());
    return file.written();
}

} // namespace quiralto::tools::soundfont
