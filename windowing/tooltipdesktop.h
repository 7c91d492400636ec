#pragma once

#include <QtGlobal>

#include <optional>

class QImage;
class QWindow;

namespace quiralto::windowing {

// What the tooltip needs of the desktop beyond what Qt offers. On X11 it is
// asked of the X server, on Windows of Windows; on any other desktop these
// find nothing and do nothing, and the caller falls back on what Qt can do.

// How many rows of the pointer image \a image lie below its hot spot's row,
// down to the lowest row with a visible pixel; none when no pixel of the
// image is visible.
std::optional<int> rowsBelowHotSpot(const QImage &image, int hotSpotY);

// The same for the pointer image the desktop shows now, in Qt's screen
// pixels at \a devicePixelRatio; none where the image cannot be read.
std::optional<int> pointerRowsBelowHotSpot(qreal devicePixelRatio);

// Lets pointer input through \a window's native window, as it is now, to
// whatever lies beneath, as if the window were not there.
void passPointerInputThrough(QWindow &window);

} // namespace quiralto::windowing
