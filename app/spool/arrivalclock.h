// When a packet came off the line, in clocks that survive a restart of motelog: the wall
// clock, and the boot's own clock (CLOCK_BOOTTIME) with the id of the boot it belongs to.
// A wall-clock step (NTP correcting a PC without a battery-backed clock) moves the first
// but never the second, so a packet's wait is measured on the boot clock whenever both
// ends of it lie in the same boot.
#pragma once

#include <array>
#include <cstdint>

using BootId = std::array<std::uint8_t, 16>;  // all zero: unknown

struct ArrivalTime {
    std::int64_t wallus = 0;  // µs since the epoch
    BootId bootid{};
    std::int64_t bootus = 0;  // µs of CLOCK_BOOTTIME in that boot
};

// The clocks now. The boot id is read once, from /proc/sys/kernel/random/boot_id; where it
// cannot be read it stays unknown and waits fall back to the wall clock.
ArrivalTime arrivalnow();

// µs from `arrived` to `now` (never negative): on the boot clock when both lie in one known
// boot, otherwise on the wall clock.
std::int64_t waitedus(const ArrivalTime& arrived, const ArrivalTime& now);

// The boot id in the text form of /proc (a UUID); unknown for text of another form.
BootId parsebootid(const char* text);
