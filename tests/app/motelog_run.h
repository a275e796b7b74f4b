// The motelog program run as a child process, as a service manager would run it: its
// standard output and error are pipes that the test reads.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class MotelogRun {
public:
    // Starts `program` with this process's environment changed by `environment`:
    // "NAME=value" sets, a bare "NAME" removes. Throws std::system_error when it cannot
    // be started.
    MotelogRun(const std::string& program, const std::vector<std::string>& environment);
    // Kills the child if it still runs.
    ~MotelogRun();

    MotelogRun(const MotelogRun&) = delete;
    MotelogRun& operator=(const MotelogRun&) = delete;

    // Reads the child's output until standard output holds at least `text` from its start,
    // has `text` as a part, or the time is up; returns whether it did.
    bool waitforoutput(const std::string& text, std::chrono::milliseconds timeout);
    // Reads until standard output holds `count` occurrences of `text`.
    bool waitforoccurrences(const std::string& text, std::size_t count,
                            std::chrono::milliseconds timeout);

    // Sends `signal`, reads both pipes to their end and returns the exit status (or 128 +
    // the signal number when the child was killed by one); -1 if it did not end in time.
    int stop(int signal, std::chrono::milliseconds timeout);
    // Waits, reading, for the child to end by itself; the exit status as for stop.
    int waitforexit(std::chrono::milliseconds timeout);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    // Reads what is available within `wait`; false once both pipes are at their end.
    bool pump(std::chrono::milliseconds wait);
    int reap(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int outfd_ = -1;
    int errfd_ = -1;
    std::string out_;
    std::string err_;
};
