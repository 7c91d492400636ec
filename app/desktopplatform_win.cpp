#include "app/desktopplatform.h"

namespace quiralto::app {

// Windows has one desktop, which Qt takes without being asked, also where an
// X server's DISPLAY is set for other programs.
std::optional<PlatformSetting> desktopPlatform(const QProcessEnvironment &)
{
    return std::nullopt;
}

} // namespace quiralto::app
