#pragma once

#include "playback/service/handlerguard.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

namespace quiralto::playback {

// Watches a running audio output, on the UI thread and only while started,
// for the two ends it may come to. It stops pulling sound: FluidSynth's
// drivers pull all the time, silence included, and end their thread without
// a word when the sound server goes away (PulseAudio's after a failed
// write) or stall when it hangs, so an output that has rendered nothing for
// a while is lost. Or nothing has played on it for a few seconds: an output
// that renders silence keeps the sound card awake and the CPU busy, so it
// is idle, to be closed until the next play.
class OutputWatch
{
public:
    // \a rendered counts the blocks the output has rendered, \a busy says
    // whether anything plays on it; \a lost or \a idle is called once, and
    // the watch stops with it. Its checks run through \a guard.
    OutputWatch(const HandlerGuard &guard, std::function<std::uint64_t()> rendered, std::function<bool()> busy,
                std::function<void()> lost, std::function<void()> idle);

    // Starts watching a new output, unless already watching.
    void start();

private:
    void check();

    std::function<std::uint64_t()> m_rendered;
    std::function<bool()> m_busy;
    std::function<void()> m_lost;
    std::function<void()> m_idle;
    QTimer m_timer;
    std::uint64_t m_lastCount = 0;
    std::chrono::steady_clock::time_point m_lastMove;
    std::chrono::steady_clock::time_point m_lastBusy;
    bool m_flowing = false;
};

} // namespace quiralto::playback
