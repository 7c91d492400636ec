#include "windowing/drawing.h"

#include <QString>

namespace quiralto::windowing {

// Of the faces Debian packages, Carlito alone has text 13 pixels high at a
// pixel size of 11 and is narrow enough for every column;
// docs/window-font.md has the measurements.
QString windowFontFamily()
{
    return QStringLiteral("Carlito");
}

} // namespace quiralto::windowing
