#include "platformsettings.h"

#include <algorithm>
#include <iterator>

namespace quiralto::app {

namespace {

// Any of these means that the user has taken Qt's scaling in hand.
const char *const QtScalingVariables[] = {
    "QT_ENABLE_HIGHDPI_SCALING", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
    "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_AUTO_SCREEN_SCALE_FACTOR",
};

bool isSet(const QProcessEnvironment &environment, const char *name)
{
    return !environment.value(QString::fromLatin1(name)).isEmpty();
}

} // namespace

QList<PlatformSetting> platformSettings(const QProcessEnvironment &environment)
{
    QList<PlatformSetting> settings;
    // Qt prefers Wayland whenever a Wayland display is there, also where
    // XWayland runs beside it. On Wayland a window cannot place itself and
    // there is no resolution setting to read, so X11 comes first; Wayland
    // stays the fallback for an X display that cannot be reached.
    if (!isSet(environment, "QT_QPA_PLATFORM") && isSet(environment, "DISPLAY"))
        settings.append(PlatformSetting("QT_QPA_PLATFORM", "xcb;wayland"));
    // Qt would enlarge the window by the desktop's resolution a second time,
    // over the scaling the window does itself, and blur its 1-pixel lines
    // and its glyphs doing so.
    const bool userScales = std::any_of(std::begin(QtScalingVariables), std::end(QtScalingVariables),
                                        [&](const char *name) { return isSet(environment, name); });
    if (!userScales)
        settings.append(PlatformSetting("QT_ENABLE_HIGHDPI_SCALING", "0"));
    return settings;
}

void applyPlatformSettings()
{
    for (const auto &[name, value] : platformSettings(QProcessEnvironment::systemEnvironment()))
        qputenv(name.constData(), value);
}

} // namespace quiralto::app
