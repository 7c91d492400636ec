// What the program costs while nobody uses it, on the X server of $DISPLAY
// with the PulseAudio server of $PULSE_SERVER: CPU ticks and context
// switches in ten seconds, and the playback streams it holds, 15 seconds
// after each of three moments: a fresh start, the pointer passing over the
// key selector (which makes the synthesizer ahead), and a scale played.
//
//   bench-idle --app PATH --scales DIR [--verbose]

#include "activity.h"
#include "benchstats.h"
#include "xdesktop.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace quiralto::bench;

namespace {

const std::string ProgramTitle = "Quiralto - Versão 1.0";
// In window coordinates: the key selector, the first player and a point of
// the bare background.
constexpr int SelectorX = 216, SelectorY = 26;
constexpr Rect FirstPlayer = {72, 72, 29, 30};
constexpr unsigned long PlayGreen = 0x00ff00;
constexpr int RestX = 600, RestY = 470;
constexpr int SettleMs = 15000;
constexpr int WindowMs = 10000;

struct Idle
{
    long ticks;
    long contextSwitches;
    int streams;
    int threads;
};

Idle measureIdle(pid_t pid)
{
    sleepMs(SettleMs);
    const Activity before = activity(pid);
    sleepMs(WindowMs);
    const Activity after = activity(pid);
    return {after.ticks - before.ticks, after.contextSwitches - before.contextSwitches, playbackStreams(),
            after.threads};
}

void reportIdle(const std::string &name, const Idle &idle, bool verbose)
{
    report("idle." + name + ".ticks", double(idle.ticks));
    report("idle." + name + ".context_switches", double(idle.contextSwitches));
    report("idle." + name + ".streams", double(idle.streams));
    if (verbose)
        std::fprintf(stderr, "bench-idle: %s: %ld ticks, %ld switches, %d streams, %d threads\n", name.c_str(),
                     idle.ticks, idle.contextSwitches, idle.streams, idle.threads);
}

} // namespace

int main(int argc, char **argv)
{
    Program program;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--app") == 0 && hasValue)
            program.path = argv[++i];
        else if (std::strcmp(argv[i], "--scales") == 0 && hasValue)
            program.workingDirectory = argv[++i];
        else if (std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
    }
    if (program.path.empty()) {
        std::fprintf(stderr, "usage: bench-idle --app PATH --scales DIR [--verbose]\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench-idle: cannot open the display\n");
        return 2;
    }
    WindowWatcher watcher(display);
    const auto appearance = watcher.launch(program, ProgramTitle, 20000);
    if (!appearance) {
        std::fprintf(stderr, "bench-idle: %s\n", watcher.failure().c_str());
        return 1;
    }
    const pid_t pid = appearance->pid;
    const Window window = appearance->window;
    int originX = 0, originY = 0;
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &originX, &originY, &child);
    const auto pointAt = [&](int x, int y) { movePointer(display, originX + x, originY + y); };
    pointAt(RestX, RestY);

    const Idle fresh = measureIdle(pid);

    pointAt(SelectorX, SelectorY);
    sleepMs(300);
    pointAt(RestX, RestY);
    sleepMs(700);
    const int streamsAfterHover = playbackStreams();
    const Idle hovered = measureIdle(pid);

    // The selector is three Tabs on from the first grid; "m" chooses a key.
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    for (const char *key : {"Tab", "Tab", "Tab", "m"}) {
        tapKey(display, key);
        sleepMs(50);
    }
    const auto playAvailable = [&] { return hasColour(display, window, FirstPlayer, PlayGreen); };
    bool ok = false;
    for (int wait = 0; wait < 100 && !(ok = playAvailable()); ++wait)
        sleepMs(100);
    if (ok) {
        pointAt(FirstPlayer.x + 14, FirstPlayer.y + 15);
        sleepMs(50);
        pressButton(display);
        sleepMs(30);
        releaseButton(display);
        pointAt(RestX, RestY);
        sleepMs(1000);
        ok = false;
        for (int wait = 0; wait < 400 && !(ok = playAvailable()); ++wait)
            sleepMs(100);
    }
    if (!ok) {
        std::fprintf(stderr, "bench-idle: the scale did not play\n");
        closeProgram(display, window, pid, 5000);
        return 1;
    }
    const Idle played = measureIdle(pid);

    closeProgram(display, window, pid, 5000);
    XCloseDisplay(display);
    reportIdle("fresh", fresh, verbose);
    report("idle.hovered.streams_at_once", double(streamsAfterHover));
    reportIdle("hovered", hovered, verbose);
    reportIdle("played", played, verbose);
    return 0;
}
