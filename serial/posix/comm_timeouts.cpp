#include "comm_timeouts.h"

#include <cstdint>

namespace {

// About 30 years. Longer limits are no limits, and this keeps a deadline computed on
// the nanosecond steady clock far from overflowing.
constexpr std::uint64_t kLongestLimitMs = 1'000'000'000'000;

std::optional<Milliseconds> productPlusConstant(DWORD multiplier, DWORD bytes, DWORD constant) {
    if (multiplier == 0 && constant == 0) return std::nullopt;
    // Exact in 64 unsigned bits: MAXDWORD * MAXDWORD + MAXDWORD < 2^64.
    std::uint64_t total = std::uint64_t{multiplier} * bytes + constant;
    if (total > kLongestLimitMs) return std::nullopt;
    return Milliseconds(static_cast<Milliseconds::rep>(total));
}

}  // namespace

ReadPlan planRead(const COMMTIMEOUTS& timeouts, DWORD bytes) {
    const DWORD interval = timeouts.ReadIntervalTimeout;
    const DWORD multiplier = timeouts.ReadTotalTimeoutMultiplier;
    const DWORD constant = timeouts.ReadTotalTimeoutConstant;
    if (interval == MAXDWORD && multiplier == 0 && constant == 0) {
        return {ReadStyle::Immediate, std::nullopt, std::nullopt};
    }
    if (interval == MAXDWORD && multiplier == MAXDWORD && constant != 0 && constant != MAXDWORD) {
        return {ReadStyle::FirstByte, Milliseconds(constant), std::nullopt};
    }
    ReadPlan plan{ReadStyle::Counted, productPlusConstant(multiplier, bytes, constant), std::nullopt};
    if (interval != 0) plan.interval = Milliseconds(interval);
    return plan;
}

std::optional<Milliseconds> writeTimeLimit(const COMMTIMEOUTS& timeouts, DWORD bytes) {
    return productPlusConstant(timeouts.WriteTotalTimeoutMultiplier, bytes,
                               timeouts.WriteTotalTimeoutConstant);
}

DWORD validateTimeouts(const COMMTIMEOUTS& timeouts) {
    if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant == MAXDWORD) {
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}
