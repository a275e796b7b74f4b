// A Win32-style event: manual-reset events stay signalled until reset, auto-reset
// events release one waiter and reset themselves.
#pragma once

#include "kernel_object.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool signalled);

    void set();
    void reset();
    // Waits until signalled or `timeoutMs` milliseconds have passed (0xFFFFFFFF waits
    // without limit). Returns true when signalled.
    bool wait(std::uint32_t timeoutMs);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const bool manualReset_;
    bool signalled_;
};
