#pragma once

// What a program's window shows, read back from the X server, and input
// sent to it through XTEST, as a user's own would arrive.

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace quiralto::x11 {

struct Rect
{
    int x, y, width, height;
};

// Pixels of the window's \a area darker than mid grey: text and lines.
int inkPixels(Display *display, Window window, Rect area);

// Whether any pixel of the window's \a area has exactly the colour \a rgb.
bool hasColour(Display *display, Window window, Rect area, unsigned long rgb);

// The window's \a area as the X server holds it, byte for byte, to tell
// whether it has changed; empty when it cannot be read.
std::vector<char> pixelBytes(Display *display, Window window, Rect area);

// Writes the window's \a area as a binary PPM image, for looking at.
bool saveImage(Display *display, Window window, Rect area, const std::string &path);

// Each is sent at once.
void movePointer(Display *display, int screenX, int screenY);
void pressButton(Display *display);
void releaseButton(Display *display);
void tapKey(Display *display, const char *keySymName);

} // namespace quiralto::x11
