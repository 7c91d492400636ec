#pragma once

#include <QString>

namespace quiralto::app {

/// The application's title, taken from its program file's name: the last
/// path component, cut at its first ".", every character after the first in
/// lower case ("/opt/EXEMPLO.EXE" gives "Exemplo"). Error boxes carry it as
/// their caption.
QString applicationTitle(const QString &programFile);

} // namespace quiralto::app
