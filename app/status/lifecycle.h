// What motelog does as a service beside reading and storing: its status and metrics
// files, the summary line of the trace, and telling systemd that it is ready and that it
// works (the watchdog).
#pragma once

#include <chrono>

// Starts the service thread and tells systemd that motelog is ready. Call it once the
// port's start-up steps have run and the spool, if any, is open. The thread:
// - every 2 s rewrites the status file (statusfilepath()) and MOTELOG_METRICS, when set;
// - every minute writes the summary line (at the summary trace level);
// - pings systemd's watchdog while neither the reader loop nor the store has been busy
//   with one step for longer than the watchdog period (60 s without a watchdog), and says
//   on standard error when one has.
void startservice();

// The last steps before motelog ends, whether stopped or failed: the last summary line,
// the status and metrics files marked stopped, and the trace written out as far as
// standard output takes it within `drainlimit`.
void finishservice(std::chrono::milliseconds drainlimit = std::chrono::milliseconds(500));
