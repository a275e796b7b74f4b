// What the Win32 time-out record means for one read or write.
#pragma once

#include "comm_api.h"

#include <chrono>
#include <optional>

using Milliseconds = std::chrono::milliseconds;

enum class ReadStyle {
    Immediate,  // return at once with what is queued, possibly nothing
    FirstByte,  // return at once with what is queued, else with the first bytes to come
    Counted,    // return when all bytes are there or a time-out ends the read
};

struct ReadPlan {
    ReadStyle style;
    // Whole-read limit, counted from the start: for FirstByte the wait for the first
    // byte, for Counted multiplier * bytes + constant. None: no limit.
    std::optional<Milliseconds> total;
    // Longest pause between two bytes once the first has come (Counted only).
    std::optional<Milliseconds> interval;
};

// The plan for a read of `bytes` bytes under `timeouts`.
ReadPlan planRead(const COMMTIMEOUTS& timeouts, DWORD bytes);

// The time limit of a write of `bytes` bytes under `timeouts`; none when both write
// fields are 0.
std::optional<Milliseconds> writeTimeLimit(const COMMTIMEOUTS& timeouts, DWORD bytes);

// Whether `timeouts` is a record the port accepts (ERROR_SUCCESS) or not
// (ERROR_INVALID_PARAMETER: every read field MAXDWORD has no meaning).
DWORD validateTimeouts(const COMMTIMEOUTS& timeouts);
