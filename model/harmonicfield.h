#pragma once

#include "model/keytable.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quiralto::model {

/// One written cell of a grid row: its column (0..12) and its Latin-1 text.
struct Cell
{
    int column;
    std::string text;

    friend bool operator==(const Cell &, const Cell &) = default;
};

/// The cells a form writes into a grid row, in increasing column order.
using RowCells = std::vector<Cell>;

/// The chord row of one scale form: eight cells, one per degree plus the
/// tonic again at column 12.
using HarmonicFieldRow = RowCells;

enum class ChordQuality { Minor, Major, Diminished };

/// A degree of a scale form: the column is its distance in semitones above
/// the tonic, the offset its distance in fifths in the note names.
struct ChordDegree
{
    int column;
    int fifthsFromTonic;
    ChordQuality quality;
};

/// The eight degrees of \a form, in column order (the tonic at 0 and at 12).
const std::array<ChordDegree, 8> &chordDegrees(ScaleForm form);

/// " Menor", " Maior" or " Dim.".
const char *qualitySuffix(ChordQuality quality);

/// A chord name as a teacher says it, for a speech synthesizer: the
/// accidentals and the quality in words ("Fá # Dim." becomes "Fá sustenido
/// diminuto"); the note itself as written. Latin-1 in and out.
std::string spokenChordName(std::string_view chordName);

/// The model's state: the note names and the key the student has chosen.
class HarmonicField
{
public:
    /// Fills NoteNames; until then no row can be built.
    void fillNoteNames();
    const NoteNameTable &NoteNames() const;

    /// 0 until a key is chosen, then the tonic's index (4..18).
    int TonicIndex() const { return m_tonicIndex; }

    /// Positions 0..14 of the key list choose that key; any other value,
    /// -1 (nothing selected) included, leaves the key as it was.
    void selectKeyByListPosition(int position);

    /// NoteNames[TonicIndex + offset]. Only meaningful once a key is chosen.
    const std::string &noteNameAtOffset(int offset) const;

    /// The chord row of \a form for the chosen key; no cells while no key has
    /// been chosen or the note names are not filled.
    HarmonicFieldRow row(ScaleForm form) const;

private:
    bool m_noteNamesFilled = false;
    int m_tonicIndex = NoTonic;
};

} // namespace quiralto::model
