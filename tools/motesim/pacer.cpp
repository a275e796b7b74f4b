#include "pacer.h"

#include <algorithm>
#include <thread>

#include "stop_signal.h"

namespace motesim {

bool Pacer::waitUntilDue(std::uint64_t bytesSent) {
    using Clock = std::chrono::steady_clock;
    if (!started_) {
        start_ = Clock::now();
        started_ = true;
    }
    if (bytesPerSecond_ <= 0) return !stopRequested();
    const auto due = start_ + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(bytesSent / bytesPerSecond_));
    // Sleep in slices so a stop request is honoured even at very low rates.
    constexpr auto kSlice = std::chrono::milliseconds(100);
    for (auto now = Clock::now(); now < due && !stopRequested(); now = Clock::now())
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kSlice));
    return !stopRequested();
}

}  // namespace motesim
