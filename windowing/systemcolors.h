#pragma once

#include <QColor>
#include <QPalette>

namespace quiralto::windowing {

/// The desktop's named colours the program's drawing uses, and the fixed
/// colours it names alongside them.
enum class SystemColor {
    BtnFace,        ///< face of buttons and fixed cells, window background
    BtnHighlight,   ///< lit edge of raised 3-D elements
    BtnShadow,      ///< shaded edge of raised 3-D elements
    BtnDkShadow,    ///< darkest edge of sunken borders
    BtnLight,       ///< inner lit edge of sunken borders
    Window,         ///< background of text areas
    WindowText,     ///< text on Window and BtnFace
    WindowFrame,    ///< thin outlines
    Highlight,      ///< background of selected items
    HighlightText,  ///< text of selected items
    InfoBk,         ///< tooltip background
    InfoText,       ///< tooltip text
    Black,
    Silver,
    Gray,
    Olive,
};

/// Resolves \a color against \a palette (the desktop's colours) so that every
/// widget of the program agrees on what, say, the button face is.
QColor systemColor(SystemColor color, const QPalette &palette);

} // namespace quiralto::windowing
