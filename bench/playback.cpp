// The program as a student uses it, on the X server of $DISPLAY with the
// PulseAudio server of $PULSE_SERVER: its memory at idle and after playing
// the three scales of a key; what it costs while nobody uses it (CPU ticks
// and context switches in ten seconds, and the playback streams it holds,
// 15 seconds after a fresh start, after the pointer passed over the key
// selector, which makes the synthesizer ahead, and after the scales); and
// how long after a click on Play the first sound reaches the null sink's
// monitor: on the output that the key change just before made, and on a new
// one, once the program has closed its idle output.
//
//   bench-playback --app PATH --scales DIR --monitor SOURCE [--presses N] [--verbose]
//
// Every input is real: keys and clicks go through XTEST, as xdotool's do.
//
// The delay of a press: the clock is read just before the button's release
// is sent (a player plays on the release); parec records the monitor in
// pieces of about a millisecond, and each piece is stamped as this program
// reads it. The delay is the stamp of the piece holding the first non-zero
// sample less the release's time. The sound reached the monitor before its
// piece was read, so the delay can only be overstated: by the hand-over
// from the null sink through the server and parec to here. How late that
// piece was against the most punctual piece of the recording is reported
// beside it, as the part of that error that varies.

#include "bench/activity.h"
#include "bench/appearance.h"
#include "bench/audiorecorder.h"
#include "bench/benchstats.h"
#include "testing/x11/x11screen.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

using namespace quiralto::bench;
using namespace quiralto::x11;

namespace {

const std::string ProgramTitle = "Quiralto - Versão 1.0";
// The players, in window coordinates, and the green of an available Play.
constexpr Rect Players[] = {{72, 72, 29, 30}, {72, 200, 29, 30}, {72, 328, 29, 30}};
constexpr unsigned long PlayGreen = 0x00ff00;
// A point of the window's bare background, and one of the key selector.
constexpr int RestX = 600, RestY = 470;
constexpr int SelectorX = 216, SelectorY = 26;

struct Session
{
    Display *display;
    Window window;
    int originX, originY;

    bool playAvailable(int player) const
    {
        return hasColour(display, window, Players[player], PlayGreen);
    }
    bool everyPlayAvailable() const
    {
        return playAvailable(0) && playAvailable(1) && playAvailable(2);
    }
    void pointAt(int windowX, int windowY) const
    {
        movePointer(display, originX + windowX, originY + windowY);
    }
    void pointAtPlayer(int player) const
    {
        const Rect &rect = Players[player];
        pointAt(rect.x + rect.width / 2, rect.y + rect.height / 2);
    }
};

double mib(std::optional<long> kib)
{
    return kib ? double(*kib) / 1024 : std::nan("");
}

// Waits 15 s, then counts what the process does in the next 10 s.
void reportIdle(pid_t pid, const std::string &moment, bool verbose)
{
    sleepMs(15000);
    const Activity before = activity(pid);
    sleepMs(10000);
    const Activity after = activity(pid);
    const int streams = playbackStreams();
    report("idle." + moment + ".ticks", double(after.ticks - before.ticks));
    report("idle." + moment + ".context_switches", double(after.contextSwitches - before.contextSwitches));
    report("idle." + moment + ".streams", streams);
    if (verbose)
        std::fprintf(stderr, "bench-playback: idle %s: %ld ticks, %ld switches, %d streams, %d threads\n",
                     moment.c_str(), after.ticks - before.ticks, after.contextSwitches - before.contextSwitches,
                     streams, after.threads);
}

struct PressDelays
{
    std::vector<double> measured, late, byCount;
};

// Changes the key, which closes the devices and silences them, waits for
// the silence to be recorded and, for a \a newOutput, for the program to
// close its output, then clicks the first player and waits for its first
// sound.
bool timePress(const Session &session, AudioRecorder &recorder, int trial, bool newOutput, PressDelays &delays,
               bool verbose)
{
    tapKey(session.display, trial % 2 == 0 ? "Down" : "Up");
    const auto silence = std::size_t(0.3 * AudioRecorder::SampleRate);
    if (!waitFor([&] { return session.playAvailable(0) && recorder.silentForLast(silence); }, 5000)) {
        std::fprintf(stderr, "bench-playback: no silence with Play available after a key change\n");
        return false;
    }
    // The recorder's own stream is a record stream, not a playback one.
    if (newOutput && !waitFor([] { return playbackStreams() == 0; }, 20000, 200)) {
        std::fprintf(stderr, "bench-playback: the idle output was never closed\n");
        return false;
    }
    session.pointAtPlayer(0);
    sleepMs(50);
    pressButton(session.display);
    sleepMs(30);
    const std::size_t before = recorder.frames();
    const auto released = Clock::now();
    releaseButton(session.display);

    std::optional<AudioRecorder::Onset> onset;
    if (!waitFor([&] { return (onset = recorder.firstSoundFrom(before)).has_value(); }, 2000, 1)) {
        std::fprintf(stderr, "bench-playback: nothing was heard after a click on Play\n");
        return false;
    }
    delays.measured.push_back(millisecondsBetween(released, onset->arrival));
    delays.late.push_back(onset->lateMs);
    delays.byCount.push_back(1000.0 * double(onset->frame - before) / AudioRecorder::SampleRate);
    if (verbose)
        std::fprintf(stderr, "bench-playback: press %d (%s output): %.2f ms (piece %.2f ms late; by frame count %.2f ms)\n",
                     trial, newOutput ? "new" : "established", delays.measured.back(), delays.late.back(),
                     delays.byCount.back());
    sleepMs(200);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Program program;
    std::string monitor;
    int presses = 10;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--app") == 0 && hasValue)
            program.path = argv[++i];
        else if (std::strcmp(argv[i], "--scales") == 0 && hasValue)
            program.workingDirectory = argv[++i];
        else if (std::strcmp(argv[i], "--monitor") == 0 && hasValue)
            monitor = argv[++i];
        else if (std::strcmp(argv[i], "--presses") == 0 && hasValue)
            presses = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
    }
    if (program.path.empty() || monitor.empty()) {
        std::fprintf(stderr, "usage: bench-playback --app PATH --scales DIR --monitor SOURCE [--presses N] [--verbose]\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench-playback: cannot open the display\n");
        return 2;
    }

    WindowWatcher watcher(display);
    const auto appearance = watcher.launch(program, ProgramTitle, 20000);
    if (!appearance) {
        std::fprintf(stderr, "bench-playback: %s\n", watcher.failure().c_str());
        return 1;
    }
    Session session{display, appearance->window, 0, 0};
    Window child;
    XTranslateCoordinates(display, session.window, DefaultRootWindow(display), 0, 0, &session.originX,
                          &session.originY, &child);

    sleepMs(1000);
    const double idle = mib(statusKiB(appearance->pid, "VmRSS:"));
    session.pointAt(RestX, RestY);
    reportIdle(appearance->pid, "fresh", verbose);
    session.pointAt(SelectorX, SelectorY);
    sleepMs(300);
    session.pointAt(RestX, RestY);
    reportIdle(appearance->pid, "hovered", verbose);

    AudioRecorder recorder;
    // About 10 ms: at the server's default latency, the null sink renders
    // far ahead, and the start of a new stream reaches the monitor late.
    bool ok = recorder.start(monitor, 10)
        && waitFor([&] { return recorder.frames() > std::size_t(AudioRecorder::SampleRate); }, 10000);
    if (!ok)
        std::fprintf(stderr, "bench-playback: cannot record %s\n", monitor.c_str());

    // The first grid has the focus; the selector is three Tabs on and takes
    // "m" as the first key beginning with it, "Mi Menor - 1 Sustenido".
    double keyChosen = std::nan(""), played = std::nan(""), playedPeak = std::nan("");
    if (ok) {
        XSetInputFocus(display, session.window, RevertToParent, CurrentTime);
        session.pointAt(RestX, RestY);
        sleepMs(100);
        for (const char *key : {"Tab", "Tab", "Tab", "m"}) {
            tapKey(display, key);
            sleepMs(50);
        }
        ok = waitFor([&] { return session.everyPlayAvailable(); }, 10000);
        if (!ok)
            std::fprintf(stderr, "bench-playback: choosing a key did not make Play available\n");
    }
    if (ok) {
        keyChosen = mib(statusKiB(appearance->pid, "VmRSS:"));
        for (int player = 0; player < 3; ++player) {
            session.pointAtPlayer(player);
            sleepMs(50);
            pressButton(display);
            sleepMs(30);
            releaseButton(display);
            sleepMs(100);
        }
        // Fifteen notes at 100 beats a minute, the last held for two.
        ok = waitFor([&] { return session.everyPlayAvailable(); }, 40000, 100);
        if (!ok)
            std::fprintf(stderr, "bench-playback: Play did not come back after the scales\n");
    }
    if (ok) {
        sleepMs(500);
        played = mib(statusKiB(appearance->pid, "VmRSS:"));
        playedPeak = mib(statusKiB(appearance->pid, "VmHWM:"));
        reportIdle(appearance->pid, "played", verbose);
    }

    PressDelays delays, newOutputDelays;
    for (int trial = 0; ok && trial < presses; ++trial)
        ok = timePress(session, recorder, trial, false, delays, verbose);
    for (int trial = 0; ok && trial < presses; ++trial)
        ok = timePress(session, recorder, trial, true, newOutputDelays, verbose);

    closeProgram(display, session.window, appearance->pid, 5000);
    recorder.stop();
    XCloseDisplay(display);
    if (!ok)
        return 1;

    report("memory.quiralto.idle_after_start_mib", idle);
    report("memory.quiralto.key_chosen_mib", keyChosen);
    report("memory.quiralto.played_mib", played);
    report("memory.quiralto.played_peak_mib", playedPeak);
    reportSeries("press.first_sample_ms", delays.measured);
    reportSeries("press.piece_late_ms", delays.late);
    reportSeries("press.by_frame_count_ms", delays.byCount);
    reportSeries("press.new_output.first_sample_ms", newOutputDelays.measured);
    reportSeries("press.new_output.piece_late_ms", newOutputDelays.late);
    reportSeries("press.new_output.by_frame_count_ms", newOutputDelays.byCount);
    return 0;
}
