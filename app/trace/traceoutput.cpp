#include "traceoutput.h"

#include <csignal>

void ignorebrokenpipes() {
    std::signal(SIGPIPE, SIG_IGN);
}
