#include "tracebacklog.h"

#include <algorithm>

namespace {

std::uint64_t linesin(std::string_view text) {
    return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TraceBacklog::Change TraceBacklog::offer(std::string_view text) {
    Change change;
    if (dropping_) {
        if (bytes() > capacity_ / 2) {
            dropped_ += linesin(text);
            return change;
        }
        change.resumedafter = dropped_;
        dropping_ = false;
        dropped_ = 0;
    }
    std::size_t kept = text.size();
    if (bytes() + text.size() > capacity_) {
        const std::size_t room = capacity_ - bytes();
        // The last line end within the room: everything after it is dropped.
        const std::size_t end = room == 0 ? std::string_view::npos : text.rfind('\n', room - 1);
        kept = end == std::string_view::npos ? 0 : end + 1;
        dropping_ = true;
        dropped_ = linesin(text.substr(kept));
        change.startsdropping = true;
    }
    if (head_ > 0 && head_ >= buffer_.size() / 2) {
        buffer_.erase(0, head_);
        head_ = 0;
    }
    buffer_.append(text.substr(0, kept));
    return change;
}

std::string TraceBacklog::take(std::size_t most) {
    const std::size_t count = std::min(most, bytes());
    std::string front = buffer_.substr(head_, count);
    head_ += count;
    if (empty()) {
        buffer_.clear();
        head_ = 0;
    }
    return front;
}
