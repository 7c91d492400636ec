#pragma once

// A program's top-level windows as the X server knows them: found by the
// title the window manager shows, and asked to close.

#include <X11/Xlib.h>

#include <optional>
#include <string>

namespace quiralto::x11 {

// The title the window manager shows (_NET_WM_NAME, in UTF-8); nothing
// when the window has none.
std::optional<std::string> windowTitle(Display *display, Window window);

// A mapped, viewable window with this title: a child of the root window,
// or, under a window manager, a window inside the frame it was given.
std::optional<Window> findMappedWindow(Display *display, const std::string &title);

// Waits at most \a ms for the X connection to have something to read;
// false when nothing came.
bool waitForEvents(Display *display, int ms);

// Asks the window to close as its close button would (WM_DELETE_WINDOW);
// the program decides what then happens.
void requestClose(Display *display, Window window);

} // namespace quiralto::x11
