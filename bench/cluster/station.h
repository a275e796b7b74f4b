// One base station of the cluster benchmark: motelog in spool mode on a pty of its own,
// with a spool of its own, its trace in a file that the benchmark follows.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "logger_process.h"
#include "mote_packet.h"
#include "pty_line.h"
#include "trace_follower.h"

// Seconds on the steady clock: the time base of sends and stored traces.
double steadySeconds();

class Station {
public:
    // Starts motelog with `settings`, the spool WORK/NAME.spool (emptied first unless
    // `keepSpool`), the trace WORK/NAME.trace and standard error in WORK/NAME.err.
    Station(const std::string& motelog, const std::string& workDir, const std::string& name,
            const Settings& settings, bool keepSpool = false);

    // Waits until motelog has opened its line; false after `limit`.
    bool waitForReader(std::chrono::seconds limit) { return line_.waitForReader(limit); }
    // Writes `frame` to the line; returns when it was written, negative once motelog is gone.
    double send(const motesim::Frame& frame);

    TraceFollower& trace() { return trace_; }
    bool running() const { return logger_->running(); }
    pid_t pid() const { return logger_->pid(); }
    // The first line motelog wrote on standard error, "" when none.
    std::string firstError() const;
    // SIGTERM, as a service manager stops it; returns the exit status.
    int stop() { return logger_->stop(); }

private:
    std::string errorFile_;
    motesim::PtyLine line_;
    TraceFollower trace_;
    std::unique_ptr<LoggerProcess> logger_;  // goes first, while its line is still there
};
