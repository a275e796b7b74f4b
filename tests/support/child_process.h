// A program run as a child process, as a service manager or a script would run it: its
// standard output and error are pipes that the test reads.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

class ChildProcess {
public:
    // Starts `program` with `args` and this process's environment changed by
    // `environment`: "NAME=value" sets, a bare "NAME" removes. No descriptor of the test
    // but the two pipes lives on in the child. Throws std::system_error when it cannot be
    // started.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& environment = {});
    // Kills the child if it still runs.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads until standard output holds `text`, or the time is up; returns whether it does.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Reads until standard output holds `count` occurrences of `text`.
    bool waitForOccurrences(const std::string& text, std::size_t count,
                            std::chrono::milliseconds timeout);
    // Reads until standard error holds `text`, or the time is up; returns whether it does.
    bool waitForError(const std::string& text, std::chrono::milliseconds timeout);
    // The next line of standard output not yet taken by readLine, without its line end;
    // empty when none came within `timeout`.
    std::string readLine(std::chrono::milliseconds timeout);

    // Closes the test's end of the standard output pipe: the child's reader has gone.
    void closeOutput();
    pid_t pid() const { return pid_; }

    // Sends `signal` to the child.
    void signal(int signal) const;
    // Sends `signal`, then waits for the exit as waitForExit does.
    int stop(int signal, std::chrono::milliseconds timeout);
    // Reads both pipes until the child has ended and returns its exit status (128 + the
    // signal number when a signal ended it), or -1 when it still runs after `timeout`.
    int waitForExit(std::chrono::milliseconds timeout);

    // Everything the child has written so far; complete once it has exited.
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    // Reads what arrives within `wait`; false once both pipes are at their end.
    bool pump(std::chrono::milliseconds wait);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    std::size_t lineStart_ = 0;  // where readLine goes on in out_
};
