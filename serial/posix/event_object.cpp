#include "event_object.h"

#include "comm_api.h"

#include <chrono>

EventObject::EventObject(bool manualReset, bool signalled)
    : manualReset_(manualReset), signalled_(signalled) {}

void EventObject::set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    // An auto-reset event releases a single waiter, so waking one is enough.
    if (manualReset_) {
        changed_.notify_all();
    } else {
        changed_.notify_one();
    }
}

void EventObject::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

bool EventObject::wait(std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto isSignalled = [this] { return signalled_; };
    if (timeoutMs == INFINITE) {
        changed_.wait(lock, isSignalled);
    } else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSignalled)) {
        return false;
    }
    if (!manualReset_) signalled_ = false;
    return true;
}
