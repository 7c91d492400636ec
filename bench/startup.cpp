// Start-up of the program beside a bare Qt window of the same size and
// place, on the X server of $DISPLAY: from just before each is started to
// its window mapped, and to its first complete paint (see WindowWatcher);
// and the resident memory of each, idle, a second after that paint.
//
//   bench-startup --app PATH --scales DIR --bare PATH [--runs N] [--verbose] [--dump DIR]
//
// The two alternate, which goes first swapping from run to run, so that a
// change in the machine's load falls on both alike. One run of each before
// the measured ones warms the caches (fonts, libraries) and is not counted.

#include "bench/appearance.h"
#include "bench/benchstats.h"
#include "testing/x11/x11screen.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace quiralto::bench;
using namespace quiralto::x11;

namespace {

const std::string ProgramTitle = "Quiralto - Versão 1.0";
const std::string BareTitle = "Quiralto bench - bare window";
constexpr int TimeoutMs = 20000;
constexpr int IdleAfterPaintMs = 1000;
constexpr Rect WholeWindow{0, 0, 981, 479};
// The first heading cell of the natural grid, where "Tônica" is written.
constexpr Rect FirstHeadingText{12, 108, 60, 18};
// Fewer dark pixels than this there, and the heading was not yet drawn.
constexpr int HeadingInk = 20;

struct Subject
{
    std::string name;
    Program program;
    std::string title;
    std::vector<double> mapped, painted, idleMiB, cpuMs, waitMs;
    // Runs in which FluidSynth's library or a SoundFont was in the idle process.
    int synthesizerAtIdle = 0;
};

struct Options
{
    int runs = 10;
    bool verbose = false;
    std::string dumpFolder;
};

// One start, timed, checked and closed again; false when it failed.
bool measure(Display *display, WindowWatcher &watcher, Subject &subject, bool counted, const Options &options)
{
    // A run whose map beat the damage watch is refused; a few tries get past it.
    std::optional<Appearance> appearance;
    for (int attempt = 0; attempt < 3 && !appearance; ++attempt) {
        appearance = watcher.launch(subject.program, subject.title, TimeoutMs);
        if (!appearance)
            std::fprintf(stderr, "bench-startup: %s: %s\n", subject.name.c_str(), watcher.failure().c_str());
    }
    if (!appearance)
        return false;

    bool ok = true;
    if (subject.title == ProgramTitle) {
        const int ink = inkPixels(display, appearance->window, FirstHeadingText);
        if (ink < HeadingInk) {
            std::fprintf(stderr, "bench-startup: the window counted as painted shows no heading (%d dark pixels)\n", ink);
            ok = false;
        }
    }
    if (!options.dumpFolder.empty())
        saveImage(display, appearance->window, WholeWindow, options.dumpFolder + "/" + subject.name + ".ppm");

    sleepMs(IdleAfterPaintMs);
    const auto rss = statusKiB(appearance->pid, "VmRSS:");
    const bool synthesizer = usesFile(appearance->pid, "libfluidsynth") || usesFile(appearance->pid, ".sf2");
    if (!closeProgram(display, appearance->window, appearance->pid, 5000))
        std::fprintf(stderr, "bench-startup: %s did not close when asked\n", subject.name.c_str());
    if (!rss)
        ok = false;

    const CpuTimes &cpu = appearance->cpuUntilPainted;
    std::fprintf(stderr,
                 "bench-startup: %-8s mapped %7.2f ms, painted %7.2f ms (%d rectangles; ran %.1f ms, waited %.1f ms "
                 "for a CPU), idle %.1f MiB%s%s\n",
                 subject.name.c_str(), appearance->mappedMs, appearance->paintedMs, appearance->damageRectangles,
                 cpu.runningMs, cpu.waitingMs, rss ? double(*rss) / 1024 : 0.0,
                 synthesizer ? ", FluidSynth loaded" : "", counted ? "" : " (warm-up, not counted)");
    if (ok && counted) {
        subject.mapped.push_back(appearance->mappedMs);
        subject.painted.push_back(appearance->paintedMs);
        subject.idleMiB.push_back(double(*rss) / 1024);
        subject.cpuMs.push_back(cpu.runningMs);
        subject.waitMs.push_back(cpu.waitingMs);
        subject.synthesizerAtIdle += synthesizer;
    }
    // Let the server and the machine settle before the next start.
    sleepMs(300);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    Subject quiralto{"quiralto", {}, ProgramTitle, {}, {}, {}, {}, {}};
    Subject bare{"bare", {}, BareTitle, {}, {}, {}, {}, {}};
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--app") == 0 && hasValue)
            quiralto.program.path = argv[++i];
        else if (std::strcmp(argv[i], "--scales") == 0 && hasValue)
            quiralto.program.workingDirectory = argv[++i];
        else if (std::strcmp(argv[i], "--bare") == 0 && hasValue)
            bare.program.path = argv[++i];
        else if (std::strcmp(argv[i], "--runs") == 0 && hasValue)
            options.runs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--dump") == 0 && hasValue)
            options.dumpFolder = argv[++i];
        else if (std::strcmp(argv[i], "--verbose") == 0)
            options.verbose = true;
    }
    if (quiralto.program.path.empty() || bare.program.path.empty()) {
        std::fprintf(stderr, "usage: bench-startup --app PATH --scales DIR --bare PATH [--runs N] [--verbose] [--dump DIR]\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench-startup: cannot open the display\n");
        return 2;
    }
    WindowWatcher watcher(display);
    watcher.verbose = options.verbose;

    bool ok = measure(display, watcher, quiralto, false, options) && measure(display, watcher, bare, false, options);
    for (int run = 0; ok && run < options.runs; ++run) {
        Subject &first = run % 2 == 0 ? quiralto : bare;
        Subject &second = run % 2 == 0 ? bare : quiralto;
        ok = measure(display, watcher, first, true, options) && measure(display, watcher, second, true, options);
    }
    XCloseDisplay(display);
    if (!ok)
        return 1;

    for (Subject *subject : {&quiralto, &bare}) {
        reportSeries("startup." + subject->name + ".mapped_ms", subject->mapped);
        reportSeries("startup." + subject->name + ".painted_ms", subject->painted);
        reportSeries("startup." + subject->name + ".cpu_ms", subject->cpuMs);
        reportSeries("startup." + subject->name + ".cpu_wait_ms", subject->waitMs);
        reportSeries("memory." + subject->name + ".idle_mib", subject->idleMiB);
        report("startup." + subject->name + ".synthesizer_at_idle_runs", subject->synthesizerAtIdle);
    }
    const double program = median(quiralto.painted);
    const double floor = median(bare.painted);
    report("startup.painted_ratio", program / floor);
    report("startup.painted_target_ms", 1.3 * floor + 10);
    return 0;
}
