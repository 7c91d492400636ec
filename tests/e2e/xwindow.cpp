// Small X11 helper for the end-to-end tests, doing what xdotool cannot:
//
//   xwindow close <window-id>       asks the window to close, as its close
//                                   button would (WM_DELETE_WINDOW)
//   xwindow wait-map <title> <ms>   waits for a top-level window with that
//                                   title to be mapped, prints its id
//   xwindow watch-maps <ms>         for that long, prints a line for every
//                                   top-level window mapped or unmapped:
//                                     map <id> <ms> <x> <y> <width> <height> <type>
//                                     unmap <id> <ms>
//                                   where <ms> is the steady clock's reading
//                                   (CLOCK_MONOTONIC) when the event came and
//                                   <type> the window's _NET_WM_WINDOW_TYPE
//                                   ("-" if none); "ready" comes first, once
//                                   nothing can be missed any more
//   xwindow input-shape <window-id> prints the rectangles of the window's
//                                   input shape (SHAPE), one "<x> <y> <width>
//                                   <height>" a line; none for an empty shape
//   xwindow pointer-image           prints the pointer's image as the server
//                                   shows it now (XFixes): "<width> <height>
//                                   <xhot> <yhot> <lowest>", <lowest> being
//                                   the lowest row with a visible pixel

#include "testing/x11/x11window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

using quiralto::x11::findMappedWindow;
using quiralto::x11::windowTitle;

int closeWindow(Display *display, Window window)
{
    quiralto::x11::requestClose(display, window);
    return 0;
}

// A window may be gone by the time it is looked at, as Wine's short-lived
// helper windows often are: it is then passed over rather than ending
// the tool, or reported without its geometry.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

// Watches the root window's children being mapped, so the moment the window
// appears is seen as an event rather than found by polling. Under a window
// manager the child mapped is the window's frame, with the window in it.
int waitForMap(Display *display, const std::string &title, int timeoutMs)
{
    XSetErrorHandler(ignoreErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    const auto found = [](Window window) {
        std::printf("%lu\n", window);
        return 0;
    };
    if (const auto window = findMappedWindow(display, title))
        return found(*window);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify)
                continue;
            if (const auto window = findMappedWindow(display, title))
                return found(*window);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !quiralto::x11::waitForEvents(display, int(left)))
            break;
    }
    std::fprintf(stderr, "xwindow: no window \"%s\" within %d ms\n", title.c_str(), timeoutMs);
    return 1;
}

long long steadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string windowType(Display *display, Window window)
{
    const Atom typeProperty = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    Atom type;
    int format;
    unsigned long items, remaining;
    unsigned char *data = nullptr;
    std::string name = "-";
    if (XGetWindowProperty(display, window, typeProperty, 0, 1, False, XA_ATOM, &type, &format, &items,
                           &remaining, &data) == Success && data && items > 0) {
        if (char *atomName = XGetAtomName(display, *reinterpret_cast<Atom *>(data))) {
            name = atomName;
            XFree(atomName);
        }
    }
    if (data)
        XFree(data);
    return name;
}

// The moments are taken as the events arrive, so a test can set them
// against its own readings of the same clock, such as when it moved the
// pointer.
int watchMaps(Display *display, int timeoutMs)
{
    XSetErrorHandler(ignoreErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            const long long now = steadyMilliseconds();
            if (event.type == MapNotify) {
                XWindowAttributes attributes{};
                XGetWindowAttributes(display, event.xmap.window, &attributes);
                std::printf("map %lu %lld %d %d %d %d %s\n", event.xmap.window, now, attributes.x, attributes.y,
                            attributes.width, attributes.height, windowType(display, event.xmap.window).c_str());
            } else if (event.type == UnmapNotify && !event.xunmap.send_event) {
                // A client withdrawing its window also sends the root a copy
                // of the unmap, which would report it twice.
                std::printf("unmap %lu %lld\n", event.xunmap.window, now);
            }
            std::fflush(stdout);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !quiralto::x11::waitForEvents(display, int(left)))
            return 0;
    }
}

// The two queries below read what the program asks of the X server through
// the extensions, so they use the same protocol the program does, on a
// connection of their own.
int printInputShape(xcb_connection_t *connection, xcb_window_t window)
{
    auto *shape = xcb_shape_get_rectangles_reply(
        connection, xcb_shape_get_rectangles(connection, window, XCB_SHAPE_SK_INPUT), nullptr);
    if (!shape) {
        std::fprintf(stderr, "xwindow: no input shape for window %u\n", window);
        return 1;
    }
    const xcb_rectangle_t *rectangles = xcb_shape_get_rectangles_rectangles(shape);
    for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(shape); ++i)
        std::printf("%d %d %u %u\n", rectangles[i].x, rectangles[i].y, rectangles[i].width, rectangles[i].height);
    std::free(shape);
    return 0;
}

int printPointerImage(xcb_connection_t *connection)
{
    std::free(xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    auto *image = xcb_xfixes_get_cursor_image_reply(connection, xcb_xfixes_get_cursor_image(connection), nullptr);
    if (!image) {
        std::fprintf(stderr, "xwindow: no pointer image\n");
        return 1;
    }
    const std::uint32_t *pixels = xcb_xfixes_get_cursor_image_cursor_image(image);
    int lowest = -1;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            if (pixels[y * image->width + x] >> 24 != 0)
                lowest = y;
    std::printf("%u %u %u %u %d\n", image->width, image->height, image->xhot, image->yhot, lowest);
    std::free(image);
    return 0;
}

template<typename Query>
int withXcb(Query query)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const int result = xcb_connection_has_error(connection) ? 2 : query(connection);
    xcb_disconnect(connection);
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "input-shape") == 0) {
        const auto window = xcb_window_t(std::strtoul(argv[2], nullptr, 0));
        return withXcb([window](xcb_connection_t *connection) { return printInputShape(connection, window); });
    }
    if (argc == 2 && std::strcmp(argv[1], "pointer-image") == 0)
        return withXcb(printPointerImage);

    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xwindow: cannot open display\n");
        return 2;
    }
    int result = 2;
    if (argc == 3 && std::strcmp(argv[1], "close") == 0)
        result = closeWindow(display, std::strtoul(argv[2], nullptr, 0));
    else if (argc == 4 && std::strcmp(argv[1], "wait-map") == 0)
        result = waitForMap(display, argv[2], std::atoi(argv[3]));
    else if (argc == 3 && std::strcmp(argv[1], "watch-maps") == 0)
        result = watchMaps(display, std::atoi(argv[2]));
    else
        std::fprintf(stderr, "usage: xwindow close <id> | wait-map <title> <ms> | watch-maps <ms>"
                     " | input-shape <id> | pointer-image\n");
    XCloseDisplay(display);
    return result;
}
