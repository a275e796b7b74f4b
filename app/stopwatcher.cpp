#include "stopwatcher.h"

#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <system_error>
#include <thread>

#include "lifecycle.h"

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
        // Kept locked: no packet starts its database work after this point.
        packetlock().lock();
        finishservice();
        // The main thread may be blocked in a read on the serial port, so no destructors
        // run; the system closes the port.
        std::_Exit(0);
    }).detach();
}
