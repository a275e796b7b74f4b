// The wall clock, as the journal and the status keep times.
#pragma once

#include <chrono>
#include <cstdint>

// Microseconds since the epoch.
inline std::int64_t wallclockus() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
