// Copies one preset of a SoundFont 2 file, with the instruments and samples
// it plays, into a SoundFont file of its own: the Windows package carries
// the piano of Debian's General MIDI bank, not the whole bank.
//
//   extract-preset <source.sf2> <bank> <program> <target.sf2>

#include "tools/binaryfile.h"
#include "tools/presetextraction.h"
#include "tools/soundfont.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace quiralto::tools;

namespace {

std::optional<std::uint16_t> number(const char *text)
{
    std::uint16_t value = 0;
    const char *end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char **argv)
{
    const auto bank = argc == 5 ? number(argv[2]) : std::nullopt;
    const auto program = argc == 5 ? number(argv[3]) : std::nullopt;
    if (!bank || !program) {
        std::fprintf(stderr, "usage: extract-preset <source.sf2> <bank> <program> <target.sf2>\n");
        return 2;
    }
    const std::filesystem::path source = argv[1], target = argv[4];

    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!readFile(source, bytes, error)) {
        std::fprintf(stderr, "extract-preset: %s: cannot read: %s\n", source.string().c_str(), error.c_str());
        return 1;
    }
    soundfont::SoundFont extracted;
    try {
        extracted = soundfont::extractPreset(soundfont::read(bytes), *bank, *program);
    } catch (const soundfont::FormatError &failure) {
        std::fprintf(stderr, "extract-preset: %s: %s\n", source.string().c_str(), failure.what());
        return 1;
    }
    bytes = soundfont::write(extracted);
    if (!writeFile(target, bytes, error)) {
        std::fprintf(stderr, "extract-preset: %s: cannot write: %s\n", target.string().c_str(), error.c_str());
        return 1;
    }
    // The installer that carries it has a size to keep within.
    std::printf("%s: %zu bytes, %zu instruments, %zu samples\n", target.string().c_str(), bytes.size(),
                extracted.instruments.size(), extracted.samples.size());
    return 0;
}
