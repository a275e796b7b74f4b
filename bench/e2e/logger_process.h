// motelog run by the benchmark on a given line, standard output and error to files.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// Settings of motelog's environment on top of the benchmark's own; an empty value unsets.
using Settings = std::vector<std::pair<std::string, std::string>>;

class LoggerProcess {
public:
    // Starts `program` with COM1 naming `line` and `environment` set in its environment;
    // throws std::system_error on failure.
    LoggerProcess(const std::string& program, const std::string& line,
                  const std::string& traceFile, const std::string& errorFile,
                  const Settings& environment = {});
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
