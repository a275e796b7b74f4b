#include "stop_signal.h"

#include <csignal>

namespace motesim {

namespace {

volatile std::sig_atomic_t stopFlag = 0;

void onStopSignal(int) { stopFlag = 1; }

}  // namespace

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART, so a blocked write or poll returns and the flag is seen; the
    // handler resets itself, so a second signal takes the default action.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() { return stopFlag != 0; }

}  // namespace motesim
