#pragma once

#include "app/platformsettings.h"

#include <optional>

namespace quiralto::app {

/// The desktop platform the program asks Qt for in \a environment, where it
/// asks for one.
std::optional<PlatformSetting> desktopPlatform(const QProcessEnvironment &environment);

} // namespace quiralto::app
