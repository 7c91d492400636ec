#pragma once

#include <QRect>

class QPainter;
class QPalette;
class QFont;

namespace quiralto::windowing {

/// One pixel of BtnHighlight along the top and left of \a rect and one of
/// BtnShadow along its bottom and right: the raised inner edge of fixed cells.
void drawRaisedInnerEdge(QPainter &painter, const QRect &rect, const QPalette &palette);

/// The 2-pixel sunken border of a text area drawn on the outermost pixels
/// of \a rect: shadow and dark shadow on the top and left, highlight and
/// light on the bottom and right.
void drawSunkenBorder(QPainter &painter, const QRect &rect, const QPalette &palette);

/// The dotted focus rectangle on the outermost pixels of \a rect: every other
/// pixel inverted, so it shows on any background.
void drawFocusRect(QPainter &painter, const QRect &rect);

/// The font of every control in the window.
QFont windowFont();

} // namespace quiralto::windowing
