#pragma once

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

namespace quiralto::playback {

// Notices an audio output that has stopped pulling sound. FluidSynth's
// drivers pull all the time, silence included, and end their thread without
// a word when the sound server goes away (PulseAudio's after a failed
// write), so an output that has rendered nothing for a while is gone. Runs
// on the UI thread, and only while started.
class OutputWatch
{
public:
    // \a rendered counts the blocks the output has rendered; \a lost is
    // called once when it stops moving, and the watch stops with it.
    OutputWatch(std::function<std::uint64_t()> rendered, std::function<void()> lost);

    // Starts watching a new output, unless already watching.
    void start();

private:
    void check();

    std::function<std::uint64_t()> m_rendered;
    std::function<void()> m_lost;
    QTimer m_timer;
    std::uint64_t m_lastCount = 0;
    std::chrono::steady_clock::time_point m_lastMove;
    bool m_flowing = false;
};

} // namespace quiralto::playback
