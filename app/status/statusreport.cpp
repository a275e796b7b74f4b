#include "statusreport.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "statustext.h"
#include "wallclock.h"

namespace {

constexpr const char* ServiceStatusFile = "/run/motelog/status";
// The file is renewed every 2 s; a status older than this is not renewed any more.
constexpr double StaleAfterSeconds = 10.0;

bool isdirectory(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool alive(long pid) {
    return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

std::string statusfilepath() {
    if (const char* chosen = std::getenv("MOTELOG_STATUS")) return chosen;
    if (const char* runtime = std::getenv("RUNTIME_DIRECTORY"); runtime && *runtime)
        return std::string(runtime) + "/status";
    const std::string service = ServiceStatusFile;
    return isdirectory(service.substr(0, service.rfind('/'))) ? service : "";
}

int runstatusreport() {
    const char* chosen = std::getenv("MOTELOG_STATUS");
    const std::string path = chosen && *chosen ? chosen : ServiceStatusFile;
    std::ifstream file(path);
    if (!file) {
        std::cout << "motelog is not running: there is no status in " << path << " ("
                  << std::strerror(errno) << "; a motelog that writes it elsewhere is named by "
                  << "MOTELOG_STATUS)\n";
        return 3;
    }
    long pid = 0;
    double updated = 0;
    std::string line;
    std::ostringstream rest;
    bool stopped = false;
    while (std::getline(file, line)) {
        if (line.rfind("pid: ", 0) == 0)
            pid = std::strtol(line.c_str() + 5, nullptr, 10);
        else if (line.rfind("updated: ", 0) == 0)
            updated = std::strtod(line.c_str() + 9, nullptr);
        else
            rest << "  " << line << '\n';
        if (line == "state: stopped") stopped = true;
    }
    const double age = static_cast<double>(wallclockus()) / 1e6 - updated;
    const std::string when = localtimetext(static_cast<std::int64_t>(updated * 1e6));
    char agetext[32];
    std::snprintf(agetext, sizeof agetext, "%.0f", age);
    int status = 0;
    if (stopped || !alive(pid)) {
        std::cout << "motelog is not running (pid " << pid << " has ended); its last status, of "
                  << when << ":\n";
        status = 3;
    } else if (age > StaleAfterSeconds) {
        std::cout << "motelog (pid " << pid << ") has not renewed its status for " << agetext
                  << " s; its last status, of " << when << ":\n";
        status = 1;
    } else {
        std::cout << "motelog is running (pid " << pid << "); its status of " << when << ":\n";
    }
    std::cout << rest.str();
    return status;
}
