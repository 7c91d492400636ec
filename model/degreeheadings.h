#pragma once

#include "model/harmonicfield.h"

#include <string>

namespace quiralto::model {

/// The two heading sets a grid can show above its chords.
enum class HeadingSet { Names, Numerals };

/// The heading row of \a form in \a set: eight Latin-1 cells in column order
/// ("Tônica", "Sobretônica", ... or "i", "ii°", ...).
RowCells DegreeHeadings(ScaleForm form, HeadingSet set);

/// The set a click switches to, judged from the heading row's column 0 alone:
/// numerals exactly when it reads "Tônica", byte for byte; names otherwise.
HeadingSet toggledHeadingSet(const std::string &column0Text);

} // namespace quiralto::model
