#include "retrypolicy.h"

#include <algorithm>
#include <cstdio>

// One write per line: the reader reports on the same stream.
void RetryPolicy::report(const std::string& line) { report_ << line + '\n' << std::flush; }

RetryPolicy::RetryPolicy(std::ostream& report, std::chrono::milliseconds first,
                         std::chrono::milliseconds longest)
    : report_(report), first_(first), longest_(longest), next_(first) {}

std::chrono::milliseconds RetryPolicy::failed(const std::string& error, Clock::time_point now) {
    if (!down_) {
        down_ = true;
        since_ = now;
        reported_.clear();
        report("motelog: database unavailable, packets wait in the spool: " + error);
        reported_.insert(error);
    } else if (reported_.insert(error).second) {
        report("motelog: database still unavailable: " + error);
    }
    const std::chrono::milliseconds wait = next_;
    next_ = std::min(next_ * 2, longest_);
    return wait;
}

std::chrono::milliseconds RetryPolicy::refused(const std::string& error,
                                               const std::string& advice) {
    if (reported_.insert(error).second)
        report("motelog: the database refuses the spool's batches: " + error + "; " + advice +
               "; packets wait in the spool, tried again every " +
               std::to_string(std::chrono::duration_cast<std::chrono::seconds>(slow_).count()) +
               " s");
    return slow_;
}

void RetryPolicy::succeeded(std::uint64_t waiting, Clock::time_point now) {
    next_ = first_;
    if (!down_) {
        reported_.clear();
        return;
    }
    down_ = false;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", std::chrono::duration<double>(now - since_).count());
    report("motelog: database available again after " + std::string(seconds) + " s; " +
           std::to_string(waiting) + " packets waited in the spool");
}
