#include "testseams.h"

#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <string>

void killpoint(const char* point) {
    static const char* const chosen = std::getenv("MOTELOG_TEST_KILL_AT");
    if (chosen && std::strcmp(chosen, point) == 0) raise(SIGKILL);
}

std::chrono::milliseconds replaywindow(std::chrono::milliseconds standard) {
    const char* const set = std::getenv("MOTELOG_TEST_REPLAY_WINDOW_MS");
    return set && *set ? std::chrono::milliseconds(std::stol(set)) : standard;
}
