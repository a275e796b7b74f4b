#include "traceoutput.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

void ignorebrokenpipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

void flushtrace() {
    static bool reported = false;
    const int error = std::fflush(stdout) == 0 ? 0 : errno;
    if (reported || (error == 0 && !std::ferror(stdout))) return;
    reported = true;
    // A failure in an earlier write leaves no cause behind once other calls have run.
    const char* cause = error != 0 ? std::strerror(error) : "an earlier write failed";
    std::cerr << std::string("motelog: writing the trace to standard output failed (") + cause +
                     "); readings are still stored, the trace is lost\n";
}
