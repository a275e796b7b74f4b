// The trace text waiting for standard output, bounded: whole lines that do not fit are
// dropped and counted. Once dropping has begun it goes on until the backlog has emptied
// to half its bound, so that a reader that barely keeps up does not make it flap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TraceBacklog {
public:
    explicit TraceBacklog(std::size_t capacity) : capacity_(capacity) {}

    // What an offer changed about dropping.
    struct Change {
        bool startsdropping = false;     // this offer dropped the first line since text flowed
        std::uint64_t resumedafter = 0;  // > 0: text flows again after that many lines were dropped
    };

    // Keeps the whole lines of `text` (which ends with a line end) that fit, in order, and
    // drops the rest.
    Change offer(std::string_view text);

    // Removes and returns up to `most` bytes from the front.
    std::string take(std::size_t most);

    bool empty() const { return buffer_.size() == head_; }
    std::size_t bytes() const { return buffer_.size() - head_; }
    std::size_t capacity() const { return capacity_; }

private:
    const std::size_t capacity_;
    std::string buffer_;
    std::size_t head_ = 0;  // bytes of buffer_ already taken
    bool dropping_ = false;
    std::uint64_t dropped_ = 0;  // lines since dropping began
};
