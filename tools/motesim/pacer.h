// Keeps the simulator at a steady byte rate, measured from the first chunk, so that
// short sleeps that overrun do not add up to drift.
#pragma once

#include <chrono>
#include <cstdint>

namespace motesim {

class Pacer {
public:
    // `bytesPerSecond` 0 means no pacing.
    explicit Pacer(double bytesPerSecond) : bytesPerSecond_(bytesPerSecond) {}

    // Sleeps until `bytesSent` bytes are due. Returns false when a stop was requested
    // meanwhile.
    bool waitUntilDue(std::uint64_t bytesSent);

private:
    double bytesPerSecond_;
    bool started_ = false;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace motesim
