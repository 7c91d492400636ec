// Writes the 45 scale files the players open: every minor key in its
// natural, harmonic and melodic form, up from the tonic to its octave and
// back down, one note per beat on a piano.
//
//   make-scales <folder>

#include "midi/midiwriter.h"
#include "model/harmonicfield.h"
#include "model/keytable.h"
#include "tools/binaryfile.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace quiralto::model;
using quiralto::midi::MidiEvent;
using quiralto::midi::MidiFile;
using quiralto::midi::writeMidiFile;
using quiralto::tools::writeFile;

namespace {

constexpr std::uint16_t TicksPerBeat = 480;
constexpr std::uint32_t MicrosecondsPerBeat = 600'000; // 100 beats per minute
constexpr std::uint8_t Channel = 0;
constexpr std::uint8_t AcousticGrandPiano = 0;
constexpr std::uint8_t Velocity = 90;
// A short silence before each note keeps repeated attacks distinct.
constexpr std::uint32_t GapTicks = 48;
// The lowest tonic: every scale then spans F3..F5 at most.
constexpr int LowestTonicNote = 53; // F3

// The notes of the scale, as semitones above the tonic: up to the octave and
// back. The melodic form comes down as the natural form, as it is taught.
std::vector<int> scaleSteps(ScaleForm form)
{
    std::vector<int> steps;
    for (const ChordDegree &degree : chordDegrees(form))
        steps.push_back(degree.column);
    const ScaleForm descending = form == ScaleForm::Melodic ? ScaleForm::Natural : form;
    const auto &down = chordDegrees(descending);
    for (auto degree = down.rbegin() + 1; degree != down.rend(); ++degree)
        steps.push_back(degree->column);
    return steps;
}

std::vector<std::uint8_t> scaleFile(int tonicIndex, ScaleForm form)
{
    const int tonicNote = LowestTonicNote + (pitchClassOfNote(tonicIndex) - LowestTonicNote % 12 + 12) % 12;
    const std::vector<int> steps = scaleSteps(form);

    std::vector<MidiEvent> track{{0, std::uint8_t(0xC0 | Channel), AcousticGrandPiano, 0}};
    std::uint32_t tick = 0;
    for (std::size_t i = 0; i < steps.size(); ++i, tick += TicksPerBeat) {
        const std::uint8_t note = std::uint8_t(tonicNote + steps[i]);
        // The final tonic is held for two beats.
        const std::uint32_t sounding = i + 1 == steps.size() ? 2 * TicksPerBeat : TicksPerBeat - GapTicks;
        track.push_back({tick, std::uint8_t(0x90 | Channel), note, Velocity});
        track.push_back({tick + sounding, std::uint8_t(0x80 | Channel), note, 0});
    }

    MidiFile scale;
    scale.format = 0;
    scale.division = TicksPerBeat;
    scale.lastEventTick = track.back().tick;
    scale.tracks = {track};
    scale.tempoChanges = {{0, MicrosecondsPerBeat}};
    return writeMidiFile(scale);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-scales <folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code statusError;
    if (!std::filesystem::is_directory(folder, statusError)) {
        std::fprintf(stderr, "make-scales: %s: not a folder\n", folder.string().c_str());
        return 1;
    }
    for (const KeyTableRow &key : KeyTable()) {
        for (ScaleForm form : AllScaleForms) {
            const std::filesystem::path path = folder / scaleFileName(key.tonicIndex, form);
            std::string error;
            if (!writeFile(path, scaleFile(key.tonicIndex, form), error)) {
                std::fprintf(stderr, "make-scales: %s: cannot write %s: %s\n", folder.string().c_str(),
                             path.filename().string().c_str(), error.c_str());
                return 1;
            }
        }
    }
    return 0;
}
