#include "replaywindow.h"

#include <algorithm>

void ReplayWindow::committed(std::uint64_t end, Clock::time_point at) {
    commits_.push_back({end, at});
}

ReplayWindow::Clock::time_point ReplayWindow::due() const {
    return commits_.empty() ? Clock::time_point::max()
                            : std::max(commits_.front().at + window_, lastread_ + spacing_);
}

ReplayWindow::Confirmation ReplayWindow::confirm(std::uint64_t shown, Clock::time_point readat) {
    Confirmation result;
    lastread_ = readat;
    while (!commits_.empty() && commits_.front().at + window_ <= readat) {
        if (commits_.front().end > shown) {
            result.forgot = true;
            return result;
        }
        result.durable = commits_.front().end;
        commits_.pop_front();
    }
    return result;
}

void ReplayWindow::rewind(std::uint64_t shown) {
    while (!commits_.empty() && commits_.back().end > shown) commits_.pop_back();
}
