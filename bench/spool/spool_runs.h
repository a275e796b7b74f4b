// motelog in spool mode against the private server: a backlog drained, the line rate
// on the local socket and through a delaying proxy, and a server outage.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "admin_connection.h"
#include "logger_process.h"
#include "run_figures.h"

struct SpoolSetup {
    std::string motelog;   // the program
    std::string workDir;   // spools, traces and error files go here
    std::string socket;    // the server's socket, for the benchmark's own connection
    std::string dbServer;  // scripts/db-server
    std::string dbDir;     // the server's directory
};

struct DrainResult {
    std::uint64_t packets = 0;
    double seconds = 0;  // from motelog's start to the last packet's rows
    Tally tally;
    std::string failure;
};

// Journals `packets` 6-reading packets into a fresh spool, then starts motelog on it
// (with a silent line) and times how long the backlog takes to reach the table.
DrainResult drainBacklog(const SpoolSetup& setup, std::uint64_t packets, std::chrono::seconds limit);

struct LineResult {
    std::uint64_t sent = 0;
    std::uint64_t backlogPackets = 0;  // not yet stored when sending ended
    double drainSeconds = 0;           // from the end of sending to the last row
    Tally tally;                       // after the grace time
    std::vector<double> latenciesMs;   // per packet, arrival on the line to its last row
    std::vector<std::pair<double, std::uint64_t>> backlog;  // (second of the run, packets not stored)
    std::string failure;
};

struct LinePlan {
    std::string name;
    Settings settings;  // motelog's environment on top of the benchmark's
    double packetsPerSecond = 160;
    std::chrono::seconds duration{30};
    bool stampArrivals = false;                     // measure latencies by a trigger
    std::function<void(double seconds)> atSecond;   // called about every 100 ms while sending
    bool sampleBacklog = false;                     // at the same times
    std::chrono::seconds grace{60};
};

// Sends numbered 6-reading packets at the plan's rate into motelog with a fresh spool and
// waits for their rows.
LineResult runLine(const SpoolSetup& setup, const LinePlan& plan);
