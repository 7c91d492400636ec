#pragma once

// What an idle process still does: CPU ticks and context switches from
// /proc, and the playback streams the sound server holds for its clients.

#include <sys/types.h>

namespace quiralto::bench {

struct Activity
{
    // User and system time of the whole process, in clock ticks (10 ms).
    long ticks = 0;
    // Voluntary and involuntary, summed over the threads alive now.
    long contextSwitches = 0;
    int threads = 0;
};

Activity activity(pid_t pid);

// Playback streams (sink inputs) on the sound server of $PULSE_SERVER, as
// `pactl list short sink-inputs` lists them; -1 when pactl fails.
int playbackStreams();

} // namespace quiralto::bench
