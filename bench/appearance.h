#pragma once

// What the desktop benchmarks measure beyond what the X11 helpers of
// testing/x11 read and send: a program started and its window seen mapped
// and first painted, and its memory as /proc tells it.

#include "bench/cputimes.h"

#include <X11/Xlib.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace quiralto::bench {

struct Program
{
    std::string path;
    std::vector<std::string> arguments;
    std::string workingDirectory;
};

// How a window came up, in milliseconds from just before its program was
// started.
struct Appearance
{
    pid_t pid = -1;
    Window window = 0;
    double mappedMs = 0;
    double paintedMs = 0;
    // Rectangles the program drew, after the map, until the window was covered.
    int damageRectangles = 0;
    // Spent by the program until its window was painted.
    CpuTimes cpuUntilPainted;
};

// Starts programs and times their top-level window's appearance:
//
// - mapped: the MapNotify event of the window with the given title, which the
//   watcher receives because it listens to the root window's children;
// - painted: the first moment at which the rectangles the program has drawn
//   into the window since the map cover all of it. The X DAMAGE extension
//   reports every rectangle drawn, as it is drawn; a window whose background
//   is drawn by the server rather than by the program would count it too,
//   which is why the pixels are checked as well (see inkPixels).
//
// The damage watch is attached when the window is created, before the
// program can map it; a run where the map got in first is refused rather
// than timed, as its paint could have been missed.
class WindowWatcher
{
public:
    explicit WindowWatcher(Display *display);

    std::optional<Appearance> launch(const Program &program, const std::string &title, int timeoutMs);
    const std::string &failure() const { return m_failure; }

    // Prints every event of the watch, with its time, to standard error.
    bool verbose = false;

private:
    Display *m_display;
    int m_damageEventBase = 0;
    std::string m_failure;
};

// Starts \a program in its working directory with this process's
// environment; -1 when it could not be started.
pid_t startProgram(const Program &program);

// Asks the window to close as its close button would, and waits for its
// program to end; kills it when it does not within \a timeoutMs.
// True when it ended by itself.
bool closeProgram(Display *display, Window window, pid_t pid, int timeoutMs);


// Whether the process has a file whose path contains \a part mapped
// (/proc/<pid>/maps: libraries) or open (/proc/<pid>/fd).
bool usesFile(pid_t pid, const std::string &part);

// A field of /proc/<pid>/status in KiB (VmRSS:, VmHWM:); nothing when absent.
std::optional<long> statusKiB(pid_t pid, const char *field);

void sleepMs(int milliseconds);

// Polls \a condition every \a pollMs until it holds (true) or \a timeoutMs
// have passed (false).
bool waitFor(const std::function<bool()> &condition, int timeoutMs, int pollMs = 10);

} // namespace quiralto::bench
