#include "stop_signal.h"

#include <csignal>
#include <initializer_list>

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
    for (int signal : {SIGINT, SIGTERM}) {
        // A shell starts background jobs with SIGINT ignored so that Ctrl+C reaches only
        // the script, which then stops its jobs in order; keep it that way.
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
    }
}

bool stopRequested() { return stopFlag != 0; }

}  // namespace motesim
