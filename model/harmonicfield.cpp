#include "model/harmonicfield.h"

#include <map>
#include <ranges>

namespace quiralto::model {

namespace {
constexpr auto Minor = ChordQuality::Minor;
constexpr auto Major = ChordQuality::Major;
constexpr auto Dim = ChordQuality::Diminished;

// The mediant (column 3) stays major in all three forms: the raised seventh
// of the harmonic and melodic forms is not applied to it.
constexpr std::array<ChordDegree, 8> NaturalDegrees{{
    {0, 0, Minor}, {2, 2, Dim}, {3, -3, Major}, {5, -1, Minor},
    {7, 1, Minor}, {8, -4, Major}, {10, -2, Major}, {12, 0, Minor},
}};
constexpr std::array<ChordDegree, 8> HarmonicDegrees{{
    {0, 0, Minor}, {2, 2, Dim}, {3, -3, Major}, {5, -1, Minor},
    {7, 1, Major}, {8, -4, Major}, {11, 5, Dim}, {12, 0, Minor},
}};
constexpr std::array<ChordDegree, 8> MelodicDegrees{{
    {0, 0, Minor}, {2, 2, Minor}, {3, -3, Major}, {5, -1, Major},
    {7, 1, Major}, {9, 3, Dim}, {11, 5, Dim}, {12, 0, Minor},
}};
} // namespace

const std::array<ChordDegree, 8> &chordDegrees(ScaleForm form)
{
    switch (form) {
    case ScaleForm::Harmonic: return HarmonicDegrees;
    case ScaleForm::Melodic: return MelodicDegrees;
    case ScaleForm::Natural: break;
    }
    return NaturalDegrees;
}

const char *qualitySuffix(ChordQuality quality)
{
    switch (quality) {
    case ChordQuality::Major: return " Maior";
    case ChordQuality::Diminished: return " Dim.";
    case ChordQuality::Minor: break;
    }
    return " Menor";
}

std::string spokenChordName(std::string_view chordName)
{
    // The note names never carry a double flat.
    static const std::map<std::string_view, std::string_view> words{
        {"#", "sustenido"}, {"##", "dobrado sustenido"}, {"b", "bemol"},
        {"Menor", "menor"}, {"Maior", "maior"},          {"Dim.", "diminuto"},
    };
    std::string spoken;
    for (const auto part : std::views::split(chordName, ' ')) {
        const std::string_view word(part.begin(), part.end());
        const auto found = words.find(word);
        if (!spoken.empty())
            spoken += ' ';
        spoken += found == words.end() ? word : found->second;
    }
    return spoken;
}

void HarmonicField::fillNoteNames()
{
    noteNameTable();
    m_noteNamesFilled = true;
}

const NoteNameTable &HarmonicField::NoteNames() const
{
    return noteNameTable();
}

void HarmonicField::selectKeyByListPosition(int position)
{
    if (position >= 0 && position < KeyCount)
        m_tonicIndex = KeyTable()[position].tonicIndex;
}

const std::string &HarmonicField::noteNameAtOffset(int offset) const
{
    return noteNameTable().at(m_tonicIndex + offset);
}

HarmonicFieldRow HarmonicField::row(ScaleForm form) const
{
    HarmonicFieldRow cells;
    if (!m_noteNamesFilled || !isKeyTonic(m_tonicIndex))
        return cells;
    for (const ChordDegree &degree : chordDegrees(form))
        cells.push_back({degree.column, noteNameAtOffset(degree.fifthsFromTonic) + qualitySuffix(degree.quality)});
    return cells;
}

} // namespace quiralto::model
