// A program run as a child process, its standard output and error read through pipes.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    // Starts `program` with `args`. Throws std::system_error when it cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    // Kills the child if it still runs.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of standard output without its line end; empty when none came
    // within `timeout`.
    std::string readLine(std::chrono::milliseconds timeout);

    // Sends `signal` to the child.
    void signal(int signal) const;

    // The exit status, or -1 when the child did not end within `timeout` (it goes on
    // running) or was ended by a signal.
    int wait(std::chrono::milliseconds timeout);

    // Everything the child wrote on standard error; complete once wait() has returned.
    const std::string& errorText();

private:
    void drainError();

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outBuffer_;
    std::string errText_;
};
