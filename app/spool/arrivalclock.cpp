#include "arrivalclock.h"

#include <time.h>

#include <algorithm>
#include <cstdio>

#include "wallclock.h"

namespace {

BootId readbootid() {
    char text[64] = {};
    if (std::FILE* file = std::fopen("/proc/sys/kernel/random/boot_id", "r")) {
        if (!std::fgets(text, sizeof text, file)) text[0] = '\0';
        std::fclose(file);
    }
    return parsebootid(text);
}

int hexdigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

BootId parsebootid(const char* text) {
    BootId id{};
    std::size_t nibbles = 0;
    for (const char* at = text; *at && *at != '\n'; ++at) {
        if (*at == '-') continue;
        const int digit = hexdigit(*at);
        if (digit < 0 || nibbles == 2 * id.size()) return BootId{};
        id[nibbles / 2] = static_cast<std::uint8_t>(id[nibbles / 2] << 4 | digit);
        ++nibbles;
    }
    return nibbles == 2 * id.size() ? id : BootId{};
}

ArrivalTime arrivalnow() {
    static const BootId boot = readbootid();
    ArrivalTime now;
    now.wallus = wallclockus();
    now.bootid = boot;
    timespec boottime{};
    clock_gettime(CLOCK_BOOTTIME, &boottime);
    now.bootus = std::int64_t{boottime.tv_sec} * 1000000 + boottime.tv_nsec / 1000;
    return now;
}

std::int64_t waitedus(const ArrivalTime& arrived, const ArrivalTime& now) {
    const bool sameboot = arrived.bootid != BootId{} && arrived.bootid == now.bootid;
    return std::max<std::int64_t>(0, sameboot ? now.bootus - arrived.bootus : now.wallus - arrived.wallus);
}
