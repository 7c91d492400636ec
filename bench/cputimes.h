#pragma once

// What a process's threads have cost so far, from /proc/<pid>/task/*/schedstat.

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/types.h>

namespace quiralto::bench {

// Time the threads have spent running, and waiting to run while runnable:
// on a busy machine the first tells the work, the second the load.
struct CpuTimes
{
    double runningMs = 0;
    double waitingMs = 0;
};

inline CpuTimes cpuTimes(pid_t pid)
{
    CpuTimes times;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double runningNs = 0, waitingNs = 0;
        if (schedstat >> runningNs >> waitingNs) {
            times.runningMs += runningNs / 1e6;
            times.waitingMs += waitingNs / 1e6;
        }
    }
    return times;
}

} // namespace quiralto::bench
