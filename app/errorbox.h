#pragma once

#include <QString>

#include <string>

namespace quiralto::app {

/// The text an error box shows for a failure's Latin-1 message: a full stop
/// is added when the message ends in a character above "." (a letter, a
/// digit, ":" or "?"), so that every message reads as a sentence.
QString errorBoxText(const std::string &message);

/// Shows \a text in a modal error box captioned \a title, with one OK
/// button, centred on the monitor of the active window, every other window
/// of the program disabled meanwhile. Returns when the user dismisses it,
/// with the previously active window and focus restored.
void showErrorBox(const QString &title, const QString &text);

} // namespace quiralto::app
