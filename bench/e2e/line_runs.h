// motelog on a pty line against the private server: as fast as the line takes packets,
// and at the 57600-baud line rate.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "admin_connection.h"

struct RunSetup {
    std::string motelog;    // the program
    std::string workDir;    // its trace and error files go here
    pid_t serverPid = 0;    // for the server's CPU time
};

struct MemorySample {
    std::uint64_t packets;  // stored so far
    long peakResidentKb;
    long residentKb;
};

struct UnthrottledResult {
    std::uint64_t packets = 0;        // asked for
    std::uint64_t stored = 0;         // packets whose rows all arrived
    std::uint64_t windowPackets = 0;  // the first ones, timed on their own
    double windowSeconds = 0;
    double allSeconds = 0;
    double loggerCpuSeconds = 0;
    double serverCpuSeconds = 0;
    std::vector<MemorySample> memory;
    std::string failure;  // empty when the run finished
};

// Sends `packets` 6-reading packets as fast as motelog takes them, for at most `limit`,
// timing the first `window` packets on their own and sampling memory on the way.
UnthrottledResult runUnthrottled(const RunSetup& setup, AdminConnection& db,
                                 std::uint64_t packets, std::uint64_t window,
                                 std::chrono::seconds limit);

struct LineRateResult {
    std::uint64_t sent = 0;
    std::uint64_t backlogRows = 0;     // rows still missing when sending ended
    std::uint64_t missingRows = 0;     // rows missing after a grace period
    double p50Ms = 0, p99Ms = 0, maxMs = 0;
    std::string failure;
};

// Sends packets at `packetsPerSecond` for `duration` and measures, for each packet, the
// time from its last byte on the line to its last row in the table. For this it stamps
// every row's arrival through a trigger on the table, which it removes again when it
// ends normally.
LineRateResult runAtLineRate(const RunSetup& setup, AdminConnection& db, double packetsPerSecond,
                             std::chrono::seconds duration);

// Removes the arrival trigger and its table. A run that ended early (motelog never opened
// the line, an error, Ctrl+C) leaves them behind, and every insert of the next run's
// other phases would feed them too.
void dropArrivalStamps(AdminConnection& db);
