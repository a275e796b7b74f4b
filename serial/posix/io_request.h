// One overlapped operation (read, write or wait for line events) while a port owns it.
#pragma once

#include "comm_api.h"
#include "comm_timeouts.h"
#include "event_object.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

using Clock = std::chrono::steady_clock;

struct IoRequest {
    enum class Kind { Read, Write, WaitEvent };

    Kind kind = Kind::Read;
    OVERLAPPED* record = nullptr;         // receives the outcome
    std::shared_ptr<EventObject> event;   // signalled on completion; may be null
    std::thread::id owner;                // the thread CancelIo acts for

    std::uint8_t* readBuffer = nullptr;
    const std::uint8_t* writeBuffer = nullptr;
    DWORD size = 0;
    DWORD done = 0;
    DWORD* eventsOut = nullptr;  // where a wait reports its events

    ReadPlan plan{ReadStyle::Counted, std::nullopt, std::nullopt};
    std::optional<Milliseconds> writeLimit;

    // Time-outs run from the moment the request reaches the head of its queue.
    bool started = false;
    std::optional<Clock::time_point> deadline;
    std::optional<Clock::time_point> lastByte;
};
