#include "playback/service/outputwatch.h"

namespace quiralto::playback {
namespace {

using namespace std::chrono_literals;

constexpr auto CheckInterval = 100ms;
// A flowing output renders a block every few milliseconds, and leaves a few
// tens at most between two even on a busy machine (bench/RESULTS.md): 400 ms
// without one is an output that has gone, and checks a tenth of a second
// apart notice it within half a second.
constexpr auto SilenceWhileFlowing = 400ms;
// A new output renders its first block at once, but the server may hold the
// second back until its sink wakes: PulseAudio's null sink, idle, sleeps up
// to its largest latency, two seconds.
constexpr auto SilenceBeforeFlowing = 3s;
// Long enough for a student to press the next Play after a scale, or the
// Play of a key just chosen, on the output already there.
constexpr auto IdleTime = 5s;

} // namespace

OutputWatch::OutputWatch(const HandlerGuard &guard, std::function<std::uint64_t()> rendered,
                         std::function<bool()> busy, std::function<void()> lost, std::function<void()> idle)
    : m_rendered(std::move(rendered)), m_busy(std::move(busy)), m_lost(std::move(lost)), m_idle(std::move(idle))
{
    m_timer.setInterval(CheckInterval);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this, &guard] { guard([this] { check(); }); });
}

void OutputWatch::start()
{
    if (m_timer.isActive())
        return;
    m_lastCount = m_rendered();
    m_lastMove = std::chrono::steady_clock::now();
    m_lastBusy = m_lastMove;
    m_flowing = false;
    m_timer.start();
}

void OutputWatch::check()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_busy())
        m_lastBusy = now;
    const std::uint64_t count = m_rendered();
    if (count != m_lastCount) {
        // More than the one block a held-back output renders: it flows.
        m_flowing = m_flowing || count - m_lastCount > 1;
        m_lastCount = count;
        m_lastMove = now;
    } else if (now - m_lastMove >= (m_flowing ? SilenceWhileFlowing : SilenceBeforeFlowing)) {
        m_timer.stop();
        m_lost();
        return;
    }
    if (now - m_lastBusy >= IdleTime) {
        m_timer.stop();
        m_idle();
    }
}

} // namespace quiralto::playback
