#include "testing/x11/x11screen.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <memory>

namespace quiralto::x11 {
namespace {

// XDestroyImage is a macro, so it needs a function around it.
struct ImageDeleter
{
    void operator()(XImage *image) const { XDestroyImage(image); }
};
using Image = std::unique_ptr<XImage, ImageDeleter>;

Image windowImage(Display *display, Window window, Rect area)
{
    return Image(XGetImage(display, window, area.x, area.y, unsigned(area.width), unsigned(area.height),
                           AllPlanes, ZPixmap));
}

// The virtual screen is 24-bit TrueColor: red, green, blue from the top byte down.
void splitPixel(unsigned long pixel, int &red, int &green, int &blue)
{
    red = int((pixel >> 16) & 0xff);
    green = int((pixel >> 8) & 0xff);
    blue = int(pixel & 0xff);
}

} // namespace

int inkPixels(Display *display, Window window, Rect area)
{
    const Image image = windowImage(display, window, area);
    if (!image)
        return 0;
    int ink = 0;
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            int red, green, blue;
            splitPixel(XGetPixel(image.get(), x, y), red, green, blue);
            ink += (red * 11 + green * 16 + blue * 5) / 32 < 128;
        }
    }
    return ink;
}

bool hasColour(Display *display, Window window, Rect area, unsigned long rgb)
{
    const Image image = windowImage(display, window, area);
    if (!image)
        return false;
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            if ((XGetPixel(image.get(), x, y) & 0xffffff) == rgb)
                return true;
        }
    }
    return false;
}

std::vector<char> pixelBytes(Display *display, Window window, Rect area)
{
    const Image image = windowImage(display, window, area);
    if (!image)
        return {};
    return std::vector<char>(image->data, image->data + std::ptrdiff_t(image->bytes_per_line) * image->height);
}

bool saveImage(Display *display, Window window, Rect area, const std::string &path)
{
    const Image image = windowImage(display, window, area);
    std::FILE *file = image ? std::fopen(path.c_str(), "wb") : nullptr;
    if (!file)
        return false;
    std::fprintf(file, "P6\n%d %d\n255\n", area.width, area.height);
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            int red, green, blue;
            splitPixel(XGetPixel(image.get(), x, y), red, green, blue);
            const unsigned char pixel[] = {static_cast<unsigned char>(red), static_cast<unsigned char>(green),
                                           static_cast<unsigned char>(blue)};
            std::fwrite(pixel, 1, 3, file);
        }
    }
    return std::fclose(file) == 0;
}

void movePointer(Display *display, int screenX, int screenY)
{
    XTestFakeMotionEvent(display, -1, screenX, screenY, CurrentTime);
    XFlush(display);
}

void pressButton(Display *display)
{
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XFlush(display);
}

void releaseButton(Display *display)
{
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
}

void tapKey(Display *display, const char *keySymName)
{
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keySymName));
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XFlush(display);
}

} // namespace quiralto::x11
