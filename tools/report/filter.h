// Runs a program as a filter: feeds it a text on standard input, collects its output.
#pragma once

#include <string>
#include <vector>

namespace report {

struct FilterResult {
    int status = 0;  // the exit status when it exited
    int signal = 0;  // the signal that ended it; 0 when it exited
    std::string out;
    std::string err;
};

// Runs `program` (looked up on PATH) with `args`, writes `input` to it and reads both of
// its outputs until it ends. Throws std::system_error when it cannot be started; a
// program that is not found ends with status 127 and says so on `err`.
FilterResult runfilter(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input);

}  // namespace report
