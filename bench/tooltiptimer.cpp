// How long the tooltip's timer really waits when asked for 500 ms, the pause
// before a tooltip shows, against a coarse Qt timer asked the same. Qt lets
// a coarse timer run out up to 5% early so as to wake on round times; a timer
// started just after a round half second is the one that would be cut short.
// Every timer is therefore started a few milliseconds past a half second of
// the steady clock, one at a time.
//
//   bench-tooltiptimer [--rounds N]
//
// Each round starts one timer of each kind at 4, 8, 12, 16 and 20 ms past a
// half second (3 rounds by default, about 15 seconds).

#include "bench/benchstats.h"

#include "ui/tooltipservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto Interval = 500ms;
constexpr std::array StartsPastHalfSecond{4, 8, 12, 16, 20};

long long millisecondsPastHalfSecond()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 500;
}

// Spins, rather than sleeps, to the moment: a sleep could overshoot it.
void waitUntilPastHalfSecond(int offset)
{
    while (millisecondsPastHalfSecond() != 0) {
    }
    while (millisecondsPastHalfSecond() < offset) {
    }
}

// Starts the timer with \a start at \a offset past a half second and returns
// how many milliseconds passed until \a expired was emitted.
template<typename Timer, typename Signal>
double waited(Timer &timer, Signal expired, int offset, const std::function<void()> &start)
{
    QEventLoop loop;
    QObject::connect(&timer, expired, &loop, &QEventLoop::quit);
    waitUntilPastHalfSecond(offset);
    QElapsedTimer sinceStart;
    sinceStart.start();
    start();
    loop.exec();
    return double(sinceStart.nsecsElapsed()) / 1e6;
}

void reportKind(const std::string &name, const std::vector<double> &waits)
{
    quiralto::bench::reportSeries("tooltiptimer." + name + ".waited_ms", waits);
    const auto early = std::count_if(waits.begin(), waits.end(),
                                     [](double ms) { return ms < double(Interval.count()); });
    quiralto::bench::report("tooltiptimer." + name + ".early_runs", double(early));
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench-tooltiptimer [--rounds N]\n");
            return 2;
        }
    }
    QCoreApplication application(argc, argv);

    quiralto::ui::EventLoopTooltipTimer tooltipTimer;
    QTimer coarseTimer;
    coarseTimer.setSingleShot(true);
    coarseTimer.setTimerType(Qt::CoarseTimer);

    std::vector<double> tooltipWaits;
    std::vector<double> coarseWaits;
    for (int round = 0; round < rounds; ++round) {
        for (const int offset : StartsPastHalfSecond) {
            tooltipWaits.push_back(waited(tooltipTimer, &quiralto::ui::TooltipTimer::expired, offset,
                                          [&] { tooltipTimer.start(Interval); }));
            coarseWaits.push_back(
                waited(coarseTimer, &QTimer::timeout, offset, [&] { coarseTimer.start(Interval); }));
        }
    }
    reportKind("tooltip", tooltipWaits);
    reportKind("coarse", coarseWaits);
    return 0;
}
