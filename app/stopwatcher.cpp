#include "stopwatcher.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "lifecycle.h"
#include "linestop.h"

namespace {

using namespace std::chrono_literals;

constexpr auto StopLimit = 800ms;
constexpr auto MinimumTraceDrain = 100ms;
constexpr auto MaximumTraceDrain = 300ms;

}  // namespace

std::mutex& packetlock() {
    // Never destroyed: the watcher may still wait on it while the process exits.
    static auto* lock = new std::mutex;
    return *lock;
}

void startstopwatcher() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    if (const int error = pthread_sigmask(SIG_BLOCK, &stops, nullptr))
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");

    std::thread([stops] {
        int arrived = 0;
        while (sigwait(&stops, &arrived) != 0) {
        }
        const auto stopped = std::chrono::steady_clock::now();
        finishreading(ReaderStopLimit);
        // Kept locked: no packet starts its database work after this point.
        packetlock().lock();
        // The trace gets what is left of the second a stop may take.
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - stopped);
        finishservice(std::clamp(StopLimit - spent, MinimumTraceDrain, MaximumTraceDrain));
        // The main thread may be blocked in a read on the serial port, so no destructors
        // run; the system closes the port.
        std::_Exit(0);
    }).detach();
}
