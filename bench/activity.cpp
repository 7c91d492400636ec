#include "bench/activity.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quiralto::bench {

Activity activity(pid_t pid)
{
    Activity result;
    const std::filesystem::path process = "/proc/" + std::to_string(pid);
    // The fields after the command's name, which is in brackets and may hold spaces.
    std::ifstream statFile(process / "stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    // State is field 3; utime and stime are fields 14 and 15.
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number >= 14)
            result.ticks += std::stol(field);
    }
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator(process / "task", error)) {
        ++result.threads;
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("voluntary_ctxt_switches:") || line.starts_with("nonvoluntary_ctxt_switches:"))
                result.contextSwitches += std::stol(line.substr(line.find(':') + 1));
        }
    }
    return result;
}

int playbackStreams()
{
    FILE *pactl = popen("pactl list short sink-inputs 2>/dev/null", "r");
    if (!pactl)
        return -1;
    int lines = 0;
    for (int c; (c = std::fgetc(pactl)) != EOF;)
        lines += c == '\n';
    return pclose(pactl) == 0 ? lines : -1;
}

} // namespace quiralto::bench
