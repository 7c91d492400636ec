// What a key change costs in the real window with the real FluidSynth
// service: the first one makes the synthesizer, loads the SoundFont and
// starts the audio output before its three opens; every later one only
// closes and opens three devices. Nothing is prepared ahead here, as for a
// user who types a key before the preparation that the selector starts has
// ended; bench-keyscreen measures the key change a user sees.
//
// Run it with the 45 scale files as the working directory. Each process
// measures one first change, so scripts/bench runs it several times.
//
//   bench-keychange [--changes N] [--offline]
//
// --offline renders nowhere, for a machine without a sound server.

#include "bench/benchstats.h"
#include "bench/cputimes.h"

#include "playback/scaleplayer.h"
#include "playback/service/fluidsynthservice.h"
#include "ui/tcombobox.h"
#include "ui/tform1.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include <unistd.h>

using namespace quiralto;
using bench::Clock;

namespace {

constexpr int KeyCount = 15;


// One key change as the selector makes it: the position first, silently,
// then the handler. Only the handler is timed; what it leaves for the event
// loop (repaints, posted notices) runs before the next change, untimed.
double timedKeyChange(ui::TForm1 &form, int listPosition)
{
    form.ComboBox1->setItemIndex(listPosition);
    const auto start = Clock::now();
    form.ComboBox1Change(form.ComboBox1);
    const auto end = Clock::now();
    QApplication::processEvents();
    return bench::millisecondsBetween(start, end);
}

bool everyPlayerReady(const ui::TForm1 &form)
{
    return form.MediaPlayer1->PlayAvailable() && form.MediaPlayer2->PlayAvailable()
        && form.MediaPlayer3->PlayAvailable();
}

} // namespace

int main(int argc, char **argv)
{
    int laterChanges = 150;
    auto output = playback::AudioOutput::Speakers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--changes") == 0 && i + 1 < argc)
            laterChanges = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--offline") == 0)
            output = playback::AudioOutput::Offline;
    }

    QApplication application(argc, argv);
    playback::FluidSynthService service(output);
    ui::TForm1 form(service);
    form.FormCreate();
    form.show();
    QApplication::processEvents();

    try {
        const bench::CpuTimes before = bench::cpuTimes(getpid());
        const double first = timedKeyChange(form, 1);
        const bench::CpuTimes after = bench::cpuTimes(getpid());
        if (!everyPlayerReady(form)) {
            std::fprintf(stderr, "bench-keychange: the players did not open\n");
            return 1;
        }
        bench::report("first_key_change_ms", first);
        // Including the threads it starts: FluidSynth's audio output, PulseAudio's.
        bench::report("first_key_change_cpu_ms", after.runningMs - before.runningMs);
        bench::report("first_key_change_cpu_wait_ms", after.waitingMs - before.waitingMs);

        std::vector<double> later;
        for (int i = 0; i < laterChanges; ++i)
            later.push_back(timedKeyChange(form, (2 + i) % KeyCount));
        if (!everyPlayerReady(form)) {
            std::fprintf(stderr, "bench-keychange: the players did not open\n");
            return 1;
        }
        // One line per change, so that runs can be pooled.
        for (const double value : later)
            bench::report("later_key_change_ms.sample", value);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench-keychange: %s\n", error.what());
        return 1;
    }
    return 0;
}
