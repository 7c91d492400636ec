#include "windowing/tooltipdesktop.h"

#include <QGuiApplication>
#include <QImage>
#include <QWindow>
#include <QtMath>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <memory>

namespace quiralto::windowing {

namespace {

// The X connection Qt uses, or nothing when Qt draws on another desktop;
// no X request may be made then.
xcb_connection_t *x11Connection()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

bool hasExtension(xcb_connection_t *connection, xcb_extension_t *extension)
{
    const xcb_query_extension_reply_t *data = xcb_get_extension_data(connection, extension);
    return data && data->present;
}

// The server takes XFixes requests only from a client that has said which
// version it speaks; that is said once for Qt's connection.
bool speaksXFixes(xcb_connection_t *connection)
{
    static xcb_connection_t *announced = nullptr;
    if (connection == announced)
        return true;
    if (!hasExtension(connection, &xcb_xfixes_id))
        return false;
    std::free(xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    announced = connection;
    return true;
}

} // namespace

std::optional<int> pointerRowsBelowHotSpot(qreal devicePixelRatio)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection || !speaksXFixes(connection))
        return std::nullopt;
    const std::unique_ptr<xcb_xfixes_get_cursor_image_reply_t, decltype(&std::free)> cursor(
        xcb_xfixes_get_cursor_image_reply(connection, xcb_xfixes_get_cursor_image(connection), nullptr), &std::free);
    if (!cursor)
        return std::nullopt;
    const QImage image(reinterpret_cast<const uchar *>(xcb_xfixes_get_cursor_image_cursor_image(cursor.get())),
                       cursor->width, cursor->height, QImage::Format_ARGB32_Premultiplied);
    const std::optional<int> rows = rowsBelowHotSpot(image, cursor->yhot);
    if (!rows)
        return std::nullopt;
    return qCeil(*rows / devicePixelRatio);
}

void passPointerInputThrough(QWindow &window)
{
    // Off X11 the window's Qt::WindowTransparentForInput is all there is to
    // ask for. On X11, Qt sets an empty input shape for it once; when Qt then
    // replaces the native window, as it does for a tooltip at its first
    // showing, the new one takes input over its whole rectangle.
    xcb_connection_t *connection = x11Connection();
    if (!connection || !hasExtension(connection, &xcb_shape_id))
        return;
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                         xcb_window_t(window.winId()), 0, 0, 0, nullptr);
    xcb_flush(connection);
}

} // namespace quiralto::windowing
