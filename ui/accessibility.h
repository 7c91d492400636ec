#pragma once

namespace quiralto::ui {

class TStringGrid;

// The window's own controls are drawn by hand, so assistive technology
// (a screen reader, a braille display) would see blank surfaces: this
// describes them through Qt's accessibility interfaces instead. The grids
// become tables of cells under their column headings, the key selector a
// combo box with its text as value, each player a button that says whether
// it can play. Call once, after the application object exists and before
// the window is shown.
void installAccessibility();

// Tells assistive technology that a cell of the grid reads differently now;
// a no-op while no assistive technology is listening.
void announceCellText(TStringGrid *grid, int col, int row);

} // namespace quiralto::ui
