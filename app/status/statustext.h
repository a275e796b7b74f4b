// The station's figures as text: the status file for a person, the metrics for
// Prometheus, and the summary line of the trace.
#pragma once

#include <sys/types.h>

#include <string>

#include "stationstatus.h"

// The status file of process `pid`: "key: value" lines, the first two "pid: N" and
// "updated: SECONDS.MICROS (local time)", which `motelog --status` reads.
std::string statustext(const StatusFigures& figures, pid_t pid);

// The same figures in the Prometheus text format: names carry their units, counters end
// in _total, times are Unix seconds.
std::string metricstext(const StatusFigures& figures);

// One line with the figures of the time from `before` to `now`: packets and readings
// stored, misses by kind, the backlog and its oldest packet's age, and outages.
std::string summaryline(const StatusFigures& before, const StatusFigures& now);

// `us` microseconds since the epoch as local time, "2026-01-31 23:59:59 CET"; "never"
// for 0.
std::string localtimetext(std::int64_t us);
