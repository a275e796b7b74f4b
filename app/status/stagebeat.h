// Whether the reader loop and the store come back from what they do. Each marks a step
// it must come back from (a store call, a packet's handling) as busy, and a wait that may
// last as long as it likes (a blocking read on a quiet line, the wait for a missing port,
// the store's back-off and idle wait) as waiting. The watchdog looks at both.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

class StageBeat {
public:
    // A step begins that must come back.
    void busy();
    // The stage waits as designed.
    void waiting();
    // How long the step under way has lasted; zero while waiting.
    std::chrono::steady_clock::duration busyfor() const;

private:
    std::atomic<std::int64_t> since_{0};  // steady-clock nanoseconds; 0 while waiting
};

// The reader loop: reading, classifying and handing on packets (in direct mode storing
// them too).
StageBeat& loopstage();
// The spool's store.
StageBeat& storestage();
