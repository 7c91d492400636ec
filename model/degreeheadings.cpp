#include "model/degreeheadings.h"

#include "model/latin1.h"

#include <array>

namespace quiralto::model {

namespace {

struct DegreeHeading
{
    int column;
    const char *name;
    const char *numeral;
};

using HeadingTable = std::array<DegreeHeading, 8>;

// The numerals follow the chord qualities: upper case major, lower case
// minor, lower case with the degree sign diminished.
constexpr HeadingTable NaturalHeadings{{
    {0, "Tônica", "i"}, {2, "Sobretônica", "ii°"}, {3, "Mediante", "III"},
    {5, "Subdominante", "iv"}, {7, "Dominante", "v"}, {8, "Submediante", "VI"},
    {10, "Subtônica", "VII"}, {12, "Tônica", "i"},
}};
constexpr HeadingTable HarmonicHeadings{{
    {0, "Tônica", "i"}, {2, "Sobretônica", "ii°"}, {3, "Mediante", "III"},
    {5, "Subdominante", "iv"}, {7, "Dominante", "V"}, {8, "Submediante", "VI"},
    {11, "Sensível", "vii°"}, {12, "Tônica", "i"},
}};
constexpr HeadingTable MelodicHeadings{{
    {0, "Tônica", "i"}, {2, "Sobretônica", "ii"}, {3, "Mediante", "III"},
    {5, "Subdominante", "IV"}, {7, "Dominante", "V"}, {9, "Submediante", "vi°"},
    {11, "Sensível", "vii°"}, {12, "Tônica", "i"},
}};

const HeadingTable &headingTable(ScaleForm form)
{
    switch (form) {
    case ScaleForm::Harmonic: return HarmonicHeadings;
    case ScaleForm::Melodic: return MelodicHeadings;
    case ScaleForm::Natural: break;
    }
    return NaturalHeadings;
}

// Converted once per form and set, so toggling never converts again.
const RowCells &headingCells(ScaleForm form, HeadingSet set)
{
    static const auto table = [] {
        std::array<std::array<RowCells, 2>, 3> cells;
        for (ScaleForm f : AllScaleForms) {
            for (const DegreeHeading &heading : headingTable(f)) {
                cells[int(f)][int(HeadingSet::Names)].push_back({heading.column, latin1(heading.name)});
                cells[int(f)][int(HeadingSet::Numerals)].push_back({heading.column, latin1(heading.numeral)});
            }
        }
        return cells;
    }();
    return table[int(form)][int(set)];
}

} // namespace

RowCells DegreeHeadings(ScaleForm form, HeadingSet set)
{
    return headingCells(form, set);
}

HeadingSet toggledHeadingSet(const std::string &column0Text)
{
    static const std::string tonica = latin1("Tônica");
    return column0Text == tonica ? HeadingSet::Numerals : HeadingSet::Names;
}

} // namespace quiralto::model
