#pragma once

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>

#include <functional>
#include <utility>

namespace quiralto::app {

/// An environment variable that Qt reads when the application starts.
using PlatformSetting = std::pair<QByteArray, QByteArray>;

/// What the program tells Qt before the application exists, given the
/// environment it was started in:
/// - on Linux, X11 wherever an X display is there and the user chose no
///   platform, Wayland otherwise (the window places itself, and the
///   desktop's text resolution is known, only on X11); on Windows, nothing:
///   Qt takes Windows' own desktop;
/// - without Qt's own high-DPI scaling, unless the user set one of Qt's
///   scaling variables: the window scales itself by its text.
QList<PlatformSetting> platformSettings(const QProcessEnvironment &environment);

/// Puts platformSettings() of the process's environment into it. Call it
/// before the application object is made.
void applyPlatformSettings();

/// Runs \a makeApplication, which makes the application object and with it
/// opens the desktop. Where that fails, Qt would abort with a core dump
/// after its own advice; instead the program ends with status 1 after one
/// line on the standard error stream: that it needs a graphical desktop and
/// there is none, or the display named could not be opened, where Qt says
/// so; otherwise (a platform plugin missing or broken) that the desktop
/// could not be started, followed by what Qt said. Anything Qt says
/// meanwhile is written once the desktop is open.
void openDesktop(const std::function<void()> &makeApplication);

} // namespace quiralto::app
