// A key change as the user sees it, on the X server of $DISPLAY with the
// PulseAudio server of $PULSE_SERVER: from a key sent through XTEST to the
// natural grid's chord row drawn anew, found by reading the window's pixels
// as often as the X server hands them out.
//
//   bench-keyscreen --app PATH --scales DIR [--runs N] [--changes N] [--settle MS] [--verbose]
//
// Each run starts the program afresh, moves the focus to the key selector
// with three Tabs and waits --settle milliseconds (1000), as a user looking
// for a key would, before pressing Down: the first change of the session.
// Then --changes later changes (10), Down or Up, each once the row and the
// three Play buttons have settled.
//
// Error bound: the clock is read just before the key is sent, and the
// change is seen at the first poll that finds it, so the figure is late by
// at most one poll (about a millisecond: one XGetImage of the row, and a
// pause of 0.2 ms between polls) plus the time the X server takes to hand
// the key to the program, which is the same for every change.

#include "bench/appearance.h"
#include "bench/benchstats.h"
#include "testing/x11/x11screen.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

using namespace quiralto::bench;
using namespace quiralto::x11;

namespace {

const std::string ProgramTitle = "Quiralto - Versão 1.0";
// The natural grid's chord row, inside the grid's border, in window coordinates.
constexpr Rect ChordRow{10, 131, 961, 24};
constexpr Rect Players[] = {{72, 72, 29, 30}, {72, 200, 29, 30}, {72, 328, 29, 30}};
constexpr unsigned long PlayGreen = 0x00ff00;
constexpr int KeyCount = 15;

bool everyPlayAvailable(Display *display, Window window)
{
    for (const Rect &player : Players) {
        if (!hasColour(display, window, player, PlayGreen))
            return false;
    }
    return true;
}

// Sends \a key and returns how long the chord row took to change on
// screen; nothing when it did not change within \a timeoutMs.
std::optional<double> timedKey(Display *display, Window window, const char *key, int timeoutMs)
{
    const std::vector<char> before = pixelBytes(display, window, ChordRow);
    if (before.empty())
        return std::nullopt;
    const auto sent = Clock::now();
    tapKey(display, key);
    const auto deadline = sent + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        const std::vector<char> now = pixelBytes(display, window, ChordRow);
        if (!now.empty() && now != before)
            return millisecondsBetween(sent, Clock::now());
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return std::nullopt;
}

struct Options
{
    Program program;
    int runs = 5;
    int changes = 10;
    int settleMs = 1000;
    bool verbose = false;
};

// One fresh start: the first change and the later ones; false when it failed.
bool measureRun(Display *display, WindowWatcher &watcher, const Options &options, std::vector<double> &first,
                std::vector<double> &later)
{
    const auto appearance = watcher.launch(options.program, ProgramTitle, 20000);
    if (!appearance) {
        std::fprintf(stderr, "bench-keyscreen: %s\n", watcher.failure().c_str());
        return false;
    }
    const Window window = appearance->window;
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    sleepMs(200);
    // The first grid has the focus; the selector is three Tabs on.
    for (int tab = 0; tab < 3; ++tab) {
        tapKey(display, "Tab");
        sleepMs(30);
    }
    sleepMs(options.settleMs);

    bool ok = true;
    const auto firstMs = timedKey(display, window, "Down", 5000);
    ok = firstMs && waitFor([&] { return everyPlayAvailable(display, window); }, 10000);
    if (!ok)
        std::fprintf(stderr, "bench-keyscreen: the first key change did not reach the screen\n");
    std::vector<double> runLater;
    for (int change = 1; ok && change <= options.changes; ++change) {
        sleepMs(300);
        // Down to the last key, Up to the first, and again.
        const bool down = (change - 1) % (2 * (KeyCount - 1)) < KeyCount - 1;
        const auto ms = timedKey(display, window, down ? "Down" : "Up", 5000);
        ok = ms && waitFor([&] { return everyPlayAvailable(display, window); }, 10000);
        if (ok)
            runLater.push_back(*ms);
        else
            std::fprintf(stderr, "bench-keyscreen: a later key change did not reach the screen\n");
    }
    closeProgram(display, window, appearance->pid, 5000);
    if (!ok)
        return false;
    first.push_back(*firstMs);
    later.insert(later.end(), runLater.begin(), runLater.end());
    std::fprintf(stderr, "bench-keyscreen: first change %.1f ms, later median %.1f ms\n", *firstMs,
                 median(runLater));
    if (options.verbose) {
        for (const double ms : runLater)
            std::fprintf(stderr, "  later %.2f ms\n", ms);
    }
    sleepMs(300);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--app") == 0 && hasValue)
            options.program.path = argv[++i];
        else if (std::strcmp(argv[i], "--scales") == 0 && hasValue)
            options.program.workingDirectory = argv[++i];
        else if (std::strcmp(argv[i], "--runs") == 0 && hasValue)
            options.runs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--changes") == 0 && hasValue)
            options.changes = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--settle") == 0 && hasValue)
            options.settleMs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--verbose") == 0)
            options.verbose = true;
    }
    if (options.program.path.empty()) {
        std::fprintf(stderr, "usage: bench-keyscreen --app PATH --scales DIR [--runs N] [--changes N] [--settle MS] [--verbose]\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench-keyscreen: cannot open the display\n");
        return 2;
    }
    WindowWatcher watcher(display);
    std::vector<double> first, later;
    bool ok = true;
    for (int run = 0; ok && run < options.runs; ++run)
        ok = measureRun(display, watcher, options, first, later);
    XCloseDisplay(display);
    if (!ok)
        return 1;

    reportSeries("keyscreen.first_ms", first);
    reportSeries("keyscreen.later_ms", later);
    report("keyscreen.first_target_ms", 2 * median(later) + 10);
    return 0;
}
