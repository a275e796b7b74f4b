#include "process_stats.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

ProcessStats processStats(pid_t pid) {
    ProcessStats stats;
    const std::string dir = "/proc/" + std::to_string(pid);
    std::ifstream status(dir + "/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string name;
        long kb = 0;
        fields >> name >> kb;
        if (name == "VmHWM:") stats.peakResidentKb = kb;
        if (name == "VmRSS:") stats.residentKb = kb;
    }
    std::ifstream statFile(dir + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks;
    // utime and stime are fields 14 and 15, the 12th and 13th after the state.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return stats;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i == 12) utime = std::stoul(field);
        if (i == 13) stime = std::stoul(field);
    }
    stats.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return stats;
}
