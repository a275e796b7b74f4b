#include "linestop.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Reading --stop asked--> Stopping --reader done--> Finished
enum class ReaderState { Reading, Stopping, Finished };

struct ReaderStop {
    std::mutex mutex;
    std::condition_variable finished;
    bool enabled = false;
    ReaderState state = ReaderState::Reading;
    Clock::time_point askedat;
};

// Never destroyed: the stop may still use it while the process exits.
ReaderStop& readerstop() {
    static auto* stop = new ReaderStop;
    return *stop;
}

DWORD millisecondsuntil(Clock::time_point deadline, Clock::time_point now) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<DWORD>(std::max<long long>(0, left));
}

}  // namespace

void letreaderfinishonstop() {
    const std::lock_guard<std::mutex> guard(readerstop().mutex);
    readerstop().enabled = true;
}

bool readerfinishesonstop() {
    const std::lock_guard<std::mutex> guard(readerstop().mutex);
    return readerstop().enabled;
}

LineWait linewait(const std::optional<Clock::time_point>& begun) {
    ReaderStop& stop = readerstop();
    const std::lock_guard<std::mutex> guard(stop.mutex);
    if (stop.state == ReaderState::Reading) return {false, false, static_cast<DWORD>(ReadSlice.count())};
    const Clock::time_point now = Clock::now();
    // Between packets, only what the port holds already.
    if (!begun) return {now - stop.askedat >= ReadAheadLimit, true, 0};
    return {false, true, millisecondsuntil(std::max(stop.askedat, *begun) + PartPacketGrace, now)};
}

void finishreading(std::chrono::milliseconds limit) {
    ReaderStop& stop = readerstop();
    std::unique_lock<std::mutex> guard(stop.mutex);
    if (!stop.enabled) return;
    if (stop.state == ReaderState::Reading) {
        stop.state = ReaderState::Stopping;
        stop.askedat = Clock::now();
    }
    stop.finished.wait_for(guard, limit, [&] { return stop.state == ReaderState::Finished; });
}

void readerfinished() {
    ReaderStop& stop = readerstop();
    {
        const std::lock_guard<std::mutex> guard(stop.mutex);
        stop.state = ReaderState::Finished;
    }
    stop.finished.notify_all();
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
