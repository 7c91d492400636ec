#include "testing/x11/x11window.h"

#include <poll.h>

namespace quiralto::x11 {

std::optional<std::string> windowTitle(Display *display, Window window)
{
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long items, remaining;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &items,
                           &remaining, &data) != Success || !data)
        return std::nullopt;
    std::string title(reinterpret_cast<char *>(data), items);
    XFree(data);
    return title;
}

namespace {

std::optional<Window> findMappedWindowBelow(Display *display, const std::string &title, Window parent)
{
    Window root, grandparent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &grandparent, &children, &count))
        return std::nullopt;
    std::optional<Window> found;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        if (windowTitle(display, children[i]) == title)
            found = children[i];
        else
            found = findMappedWindowBelow(display, title, children[i]);
    }
    if (children)
        XFree(children);
    return found;
}

} // namespace

std::optional<Window> findMappedWindow(Display *display, const std::string &title)
{
    return findMappedWindowBelow(display, title, DefaultRootWindow(display));
}

bool waitForEvents(Display *display, int ms)
{
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    return poll(&connection, 1, ms) > 0;
}

void requestClose(Display *display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

} // namespace quiralto::x11
