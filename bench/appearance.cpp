#include "bench/appearance.h"

#include "bench/benchstats.h"
#include "testing/x11/x11window.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace quiralto::bench {
namespace {

struct MapSearch
{
    Window window;
    bool found;
};

// Only looks: it never takes an event off the queue.
Bool isMapOf(Display *, XEvent *event, XPointer search)
{
    auto *wanted = reinterpret_cast<MapSearch *>(search);
    if (event->type == MapNotify && event->xmap.window == wanted->window)
        wanted->found = true;
    return False;
}

bool mapAlreadyQueued(Display *display, Window window)
{
    MapSearch search{window, false};
    XEvent unused;
    XCheckIfEvent(display, &unused, &isMapOf, reinterpret_cast<XPointer>(&search));
    return search.found;
}

bool programEnded(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

} // namespace

WindowWatcher::WindowWatcher(Display *display)
    : m_display(display)
{
    int errorBase = 0;
    if (!XDamageQueryExtension(m_display, &m_damageEventBase, &errorBase))
        m_failure = "the X server has no DAMAGE extension";
}

std::optional<Appearance> WindowWatcher::launch(const Program &program, const std::string &title, int timeoutMs)
{
    if (m_damageEventBase == 0)
        return std::nullopt;
    m_failure.clear();
    const Window root = DefaultRootWindow(m_display);
    XSelectInput(m_display, root, SubstructureNotifyMask);
    XSync(m_display, True);

    Appearance appearance;
    std::map<Window, Damage> watched;
    Region drawn = XCreateRegion();
    bool painted = false;
    const auto log = [this](Clock::time_point start, const char *what, unsigned long window) {
        if (verbose)
            std::fprintf(stderr, "  %8.2f ms  %s 0x%lx\n", millisecondsBetween(start, Clock::now()), what, window);
    };

    const auto start = Clock::now();
    appearance.pid = startProgram(program);
    if (appearance.pid < 0) {
        m_failure = "cannot start " + program.path;
        return std::nullopt;
    }
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    while (!painted && Clock::now() < deadline && m_failure.empty()) {
        if (!XPending(m_display)) {
            if (programEnded(appearance.pid)) {
                m_failure = program.path + " ended before its window was painted";
                break;
            }
            x11::waitForEvents(m_display, 20);
            continue;
        }
        XEvent event;
        XNextEvent(m_display, &event);
        const auto now = Clock::now();
        if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
            const Window window = event.xcreatewindow.window;
            watched[window] = XDamageCreate(m_display, window, XDamageReportRawRectangles);
            XSync(m_display, False);
            log(start, "created, damage watched", window);
            if (mapAlreadyQueued(m_display, window))
                m_failure = "a window was mapped before its damage could be watched";
        } else if (event.type == MapNotify && event.xmap.event == root && !appearance.window) {
            log(start, "mapped", event.xmap.window);
            if (x11::windowTitle(m_display, event.xmap.window) == title) {
                appearance.window = event.xmap.window;
                appearance.mappedMs = millisecondsBetween(start, now);
                if (!watched.contains(appearance.window))
                    m_failure = "the window was mapped without having been seen created";
            }
        } else if (event.type == m_damageEventBase + XDamageNotify) {
            const auto &damage = reinterpret_cast<const XDamageNotifyEvent &>(event);
            if (verbose)
                std::fprintf(stderr, "  %8.2f ms  damage 0x%lx %dx%d+%d+%d\n", millisecondsBetween(start, now),
                             damage.drawable, damage.area.width, damage.area.height, damage.area.x,
                             damage.area.y);
            if (appearance.window && damage.drawable == appearance.window) {
                XRectangle area = damage.area;
                XUnionRectWithRegion(&area, drawn, drawn);
                ++appearance.damageRectangles;
                if (XRectInRegion(drawn, 0, 0, damage.geometry.width, damage.geometry.height) == RectangleIn) {
                    appearance.paintedMs = millisecondsBetween(start, now);
                    appearance.cpuUntilPainted = cpuTimes(appearance.pid);
                    painted = true;
                }
            }
        }
    }
    XDestroyRegion(drawn);
    for (const auto &[window, damage] : watched)
        XDamageDestroy(m_display, damage);
    XSelectInput(m_display, root, NoEventMask);
    XSync(m_display, True);

    if (!painted && m_failure.empty())
        m_failure = "no painted window \"" + title + "\" within " + std::to_string(timeoutMs) + " ms";
    if (!m_failure.empty()) {
        if (appearance.window)
            closeProgram(m_display, appearance.window, appearance.pid, 3000);
        else if (!programEnded(appearance.pid)) {
            kill(appearance.pid, SIGKILL);
            waitpid(appearance.pid, nullptr, 0);
        }
        return std::nullopt;
    }
    return appearance;
}

pid_t startProgram(const Program &program)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.path.c_str()));
    for (const std::string &argument : program.arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        if (!program.workingDirectory.empty() && chdir(program.workingDirectory.c_str()) != 0)
            _exit(126);
        execv(program.path.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

bool closeProgram(Display *display, Window window, pid_t pid, int timeoutMs)
{
    x11::requestClose(display, window);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (programEnded(pid))
            return true;
        sleepMs(10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
}

bool usesFile(pid_t pid, const std::string &part)
{
    const std::string process = "/proc/" + std::to_string(pid);
    std::ifstream maps(process + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(part) != std::string::npos)
            return true;
    }
    std::error_code error;
    for (const auto &descriptor : std::filesystem::directory_iterator(process + "/fd", error)) {
        std::error_code unreadable;
        const auto target = std::filesystem::read_symlink(descriptor.path(), unreadable);
        if (!unreadable && target.string().find(part) != std::string::npos)
            return true;
    }
    return false;
}

std::optional<long> statusKiB(pid_t pid, const char *field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0)
            return std::stol(line.substr(length));
    }
    return std::nullopt;
}

void sleepMs(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs, int pollMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        sleepMs(pollMs);
    }
    return true;
}

} // namespace quiralto::bench
