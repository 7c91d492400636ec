#include "app/desktopplatform.h"

namespace quiralto::app {

// Qt prefers Wayland whenever a Wayland display is there, also where
// XWayland runs beside it. On Wayland a window cannot place itself and
// there is no resolution setting to read, so X11 comes first; Wayland
// stays the fallback for an X display that cannot be reached.
std::optional<PlatformSetting> desktopPlatform(const QProcessEnvironment &environment)
{
    if (!environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty()
        || environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return std::nullopt;
    return PlatformSetting("QT_QPA_PLATFORM", "xcb;wayland");
}

} // namespace quiralto::app
