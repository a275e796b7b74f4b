#include "machine.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {

std::string cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);)
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

std::string osName() {
    std::ifstream release("/etc/os-release");
    for (std::string line; std::getline(release, line);)
        if (line.rfind("PRETTY_NAME=", 0) == 0) return line.substr(13, line.size() - 14);
    return "unknown system";
}

}  // namespace

std::string machineDescription() {
    utsname system{};
    uname(&system);
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    char text[512];
    std::snprintf(text, sizeof text, "%s, %ld cores, %.0f GiB, %s, kernel %s", cpuModel().c_str(),
                  sysconf(_SC_NPROCESSORS_ONLN),
                  static_cast<double>(pages) * static_cast<double>(pageSize) / (1 << 30), osName().c_str(),
                  system.release);
    return text;
}

double loadAverage() {
    double load = 0;
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1) load = 0;
        std::fclose(file);
    }
    return load;
}
