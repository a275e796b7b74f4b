// Telling systemd how motelog is: nothing happens when NOTIFY_SOCKET is not set, so
// motelog stays a plain program outside a Type=notify unit.
#pragma once

#include <chrono>
#include <string>

// READY=1: start-up is done.
void notifyready();
// STATUS=`text`: a line for `systemctl status`.
void notifystatus(const std::string& text);
// WATCHDOG=1: motelog works.
void pingwatchdog();
// The watchdog period systemd asks for (WatchdogSec=); zero when none.
std::chrono::microseconds watchdogperiod();
