#include "notify.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

void notifyready() { sd_notify(0, "READY=1"); }

void notifystatus(const std::string& text) { sd_notify(0, ("STATUS=" + text).c_str()); }

void pingwatchdog() { sd_notify(0, "WATCHDOG=1"); }

std::chrono::microseconds watchdogperiod() {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0) return std::chrono::microseconds::zero();
    return std::chrono::microseconds(usec);
}
