#pragma once

#include <array>
#include <string>

namespace quiralto::model {

/// The three forms of the minor scale, in the order of the window's grids.
enum class ScaleForm { Natural, Harmonic, Melodic };

inline constexpr std::array<ScaleForm, 3> AllScaleForms{ScaleForm::Natural, ScaleForm::Harmonic,
                                                        ScaleForm::Melodic};

inline constexpr int NoteCount = 24;

/// Index into the note names: 0 ("Fá b") to 23 ("Sol ##"), a fifth apart.
/// 0 also stands for "no key chosen yet"; a chosen key's tonic lies in 4..18.
inline constexpr int NoTonic = 0;
inline constexpr int LowestTonicIndex = 4;
inline constexpr int HighestTonicIndex = 18;

constexpr bool isKeyTonic(int tonicIndex)
{
    return tonicIndex >= LowestTonicIndex && tonicIndex <= HighestTonicIndex;
}

/// Pitch class (0 = C .. 11 = B) of the note at \a noteIndex in the circle of
/// fifths; index 8 is "Dó".
constexpr int pitchClassOfNote(int noteIndex)
{
    return (((noteIndex - 8) * 7) % 12 + 12) % 12;
}

using NoteNameTable = std::array<std::string, NoteCount>;

/// The 24 note names in Latin-1, lowest fifth first. Filled on first use.
const NoteNameTable &noteNameTable();

/// One entry of the key selector's list.
struct KeyTableRow
{
    std::string listText; ///< as shown in the list, Latin-1
    int tonicIndex;
    std::string fileStem; ///< plain ASCII, e.g. "Fa Sus"
};

inline constexpr int KeyCount = 15;

/// The fifteen minor keys in list order: no accidentals, the sharp keys, then
/// the flat keys. Filled on first use.
const std::array<KeyTableRow, KeyCount> &KeyTable();

/// The MIDI file that plays \a form in the key whose tonic is \a tonicIndex,
/// e.g. "Fa Sus Harm.MID". Empty when \a tonicIndex is not a key's tonic.
std::string scaleFileName(int tonicIndex, ScaleForm form);

} // namespace quiralto::model
