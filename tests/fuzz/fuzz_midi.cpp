// libFuzzer target: arbitrary bytes through our MIDI reading and writing and
// through the playback service as the program uses it, rendering offline.
// Built by tests/fuzz/run-fuzzer with clang, outside the normal build.

#include "midi/midifile.h"
#include "midi/midiwriter.h"
#include "playback/service/fluidsynthservice.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

using namespace quiralto::midi;
using namespace quiralto::playback;

namespace {

// A crash is what libFuzzer notices; a broken promise of our code is made one.
void require(bool promise, const char *what)
{
    if (!promise) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

bool sameMidi(const MidiFile &a, const MidiFile &b)
{
    return a.format == b.format && a.division == b.division && a.lastEventTick == b.lastEventTick
        && a.tracks == b.tracks && a.tempoChanges == b.tempoChanges;
}

struct Harness
{
    QTemporaryDir folder;
    std::string fileName;
    // One synthesizer for the whole run, as in the program: loading the
    // SoundFont for every input would leave no time for fuzzing.
    FluidSynthService service{AudioOutput::Offline};
    std::vector<float> samples;
};

Harness *harness = nullptr;

// Renders about a fifth of a second in the periods of an audio thread,
// delivering the device's wake-ups and notices in between.
void renderBriefly()
{
    for (int period = 0; period < 8; ++period) {
        harness->service.renderFrames(1024, harness->samples);
        QCoreApplication::processEvents();
    }
}

void playThroughService(std::span<const std::uint8_t> bytes, bool readable)
{
    std::FILE *file = std::fopen(harness->fileName.c_str(), "wb");
    require(file != nullptr, "the input can be written to a file");
    if (!bytes.empty())
        require(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "the input is written whole");
    std::fclose(file);

    FluidSynthService &service = harness->service;
    DeviceId device = 0;
    const ErrorCode opened = service.open(harness->fileName, device);
    if (!readable) {
        require(opened == ErrorNotMidiFile, "a file our reader refuses is refused as not MIDI");
        const auto text = service.errorText(opened);
        require(text && text->find('"' + harness->fileName + '"') != std::string::npos,
                "the refusal names the file");
        return;
    }
    require(opened == NoError, "a file our reader accepts opens");

    std::uint32_t length = 0;
    std::uint32_t position = 0;
    DeviceMode mode = DeviceMode::Playing;
    require(service.length(device, length) == NoError, "an open device has a length");
    require(service.play(device, nullptr) == NoError, "an open device plays");
    renderBriefly();
    require(service.position(device, position) == NoError && position <= length,
            "the position stays within the length");
    require(service.mode(device, mode) == NoError, "an open device has a mode");
    if (mode == DeviceMode::Stopped)
        require(position == length, "a device that stopped by itself is at its end");
    // Starting over, and a play request superseding a running one.
    require(service.seekToStart(device) == NoError, "an open device rewinds");
    require(service.play(device, nullptr) == NoError, "a rewound device plays");
    require(service.play(device, nullptr) == NoError, "a playing device plays on");
    renderBriefly();
    require(service.close(device) == NoError, "an open device closes");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz_midi";
    static char *argv[] = {name, nullptr};
    // The devices wake themselves and post their notices through Qt's event loop.
    new QCoreApplication(argc, argv);
    harness = new Harness;
    require(harness->folder.isValid(), "a temporary folder");
    harness->fileName = QDir(harness->folder.path()).filePath(QStringLiteral("entrada.MID")).toStdString();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    std::optional<MidiFile> midi;
    try {
        midi = readMidiFile(bytes);
    } catch (const MidiFormatError &refused) {
        require(!refused.message().empty(), "a refusal says why");
    }
    if (midi) {
        // What the service hands the synthesizer must read back as the same file.
        const std::vector<std::uint8_t> written = writeMidiFile(*midi);
        try {
            require(sameMidi(readMidiFile(written), *midi), "the rewrite reads back as the file");
        } catch (const MidiFormatError &) {
            require(false, "the rewrite of an accepted file is accepted");
        }
    }
    // Files past the size limit are refused unread; the fuzzer's inputs stay below it.
    playThroughService(bytes, midi.has_value());
    return 0;
}
