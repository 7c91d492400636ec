#pragma once

#include <QRect>

class QPainter;
class QPalette;
class QColor;
class QFont;
class QString;

namespace quiralto::windowing {

/// A one-pixel frame on the outermost pixels of \a rect: \a topLeft along
/// the top and the left, \a bottomRight along the bottom and the right. The
/// two corners where the colours meet, top right and bottom left, are
/// \a topLeft's, as if the light came from the top left. Every 3-D edge and
/// outline of the program is drawn with it.
void drawEdge(QPainter &painter, const QRect &rect, const QColor &topLeft, const QColor &bottomRight);

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

/// The face of the window font on this system.
QString windowFontFamily();

} // namespace quiralto::windowing
