#include "windowing/drawing.h"

#include <QString>

namespace quiralto::windowing {

// The face the layout was made for, which Windows still has: at 8 points,
// 96 pixels per inch, its text is 13 pixels high.
QString windowFontFamily()
{
    return QStringLiteral("MS Sans Serif");
}

} // namespace quiralto::windowing
