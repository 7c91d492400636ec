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

#include "x11window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <poll.h>

namespace {

using quiralto::x11::findMappedWindow;
using quiralto::x11::windowTitle;

int closeWindow(Display *display, Window window)
{
    quiralto::x11::requestClose(display, window);
    return 0;
}

// Watches the root window's children being mapped, so the moment the window
// appears is seen as an event rather than found by polling.
int waitForMap(Display *display, const std::string &title, int timeoutMs)
{
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
            if (event.type == MapNotify && windowTitle(display, event.xmap.window) == title)
                return found(event.xmap.window);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        if (left <= 0 || poll(&connection, 1, int(left)) == 0)
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

// A window may be gone by the time its map is reported; its line then
// carries no geometry rather than ending the watch.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
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
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        if (left <= 0 || poll(&connection, 1, int(left)) == 0)
            return 0;
    }
}

} // namespace

int main(int argc, char **argv)
{
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
        std::fprintf(stderr, "usage: xwindow close <id> | wait-map <title> <ms> | watch-maps <ms>\n");
    XCloseDisplay(display);
    return result;
}
