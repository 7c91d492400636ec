#include "windowing/tooltipdesktop.h"

#include <QGuiApplication>
#include <QImage>
#include <QWindow>
#include <QtMath>

#include <windows.h>

namespace quiralto::windowing {

namespace {

// The pointer Windows shows is the program's only where Qt draws on the
// Windows desktop, not on an offscreen one.
bool onWindowsDesktop()
{
    return QGuiApplication::platformName() == QLatin1String("windows");
}

} // namespace

std::optional<int> pointerRowsBelowHotSpot(qreal devicePixelRatio)
{
    if (!onWindowsDesktop())
        return std::nullopt;
    CURSORINFO cursor{};
    cursor.cbSize = sizeof(cursor);
    if (!GetCursorInfo(&cursor) || !(cursor.flags & CURSOR_SHOWING) || !cursor.hCursor)
        return std::nullopt;
    ICONINFO icon{};
    if (!GetIconInfo(cursor.hCursor, &icon))
        return std::nullopt;
    // The hot spot comes with copies of the pointer's bitmaps, which are the
    // caller's to delete; Qt reads the image, with its mask, itself.
    DeleteObject(icon.hbmMask);
    if (icon.hbmColor)
        DeleteObject(icon.hbmColor);
    const std::optional<int> rows = rowsBelowHotSpot(QImage::fromHICON(cursor.hCursor), int(icon.yHotspot));
    if (!rows)
        return std::nullopt;
    return qCeil(*rows / devicePixelRatio);
}

void passPointerInputThrough(QWindow &)
{
    // Qt makes every native window of a Qt::WindowTransparentForInput window
    // layered and transparent to the pointer (WS_EX_LAYERED with
    // WS_EX_TRANSPARENT), keeps it layered whatever its opacity, and passes
    // the pointer on to the window beneath itself: nothing is left to ask.
}

} // namespace quiralto::windowing
