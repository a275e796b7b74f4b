// motelog run by the benchmark on a given line, standard output and error to files.
#pragma once

#include <sys/types.h>

#include <string>

class LoggerProcess {
public:
    // Starts `program` with COM1 naming `line`; throws std::system_error on failure.
    LoggerProcess(const std::string& program, const std::string& line,
                  const std::string& traceFile, const std::string& errorFile);
    // Stops it if it still runs.
    ~LoggerProcess();

    LoggerProcess(const LoggerProcess&) = delete;
    LoggerProcess& operator=(const LoggerProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const;

    // SIGTERM (motelog finishes the packet in hand), SIGKILL after 5 s. Returns the exit
    // status, or 128 + the signal that ended it.
    int stop();

private:
    pid_t pid_ = -1;
};
