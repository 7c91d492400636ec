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

// Tell assistive technology that the grid's current cell has the focus, as
// a stock table does, so that a screen reader reads that cell rather than
// the whole table: when the focus has come into the grid (with the grid's
// remark), and when the current cell moves. Nothing while the grid does not
// have the focus.
void announceFocusIn(TStringGrid *grid);
void announceCurrentCell(TStringGrid *grid);

} // namespace quiralto::ui
