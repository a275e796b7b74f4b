// The commits that the server has acknowledged but that a crash of the server could still
// take back (a server that flushes its log about once a second loses the last second). A
// commit counts as durable once the server still shows it a window's length after it was
// acknowledged; until then the journal keeps its records, so that they can be sent again.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

class ReplayWindow {
public:
    using Clock = std::chrono::steady_clock;

    // Commits are confirmed `window` after they were made, and by one read at most every
    // `spacing`.
    ReplayWindow(Clock::duration window, Clock::duration spacing)
        : window_(window), spacing_(spacing) {}

    // A batch ending before seq `end` was committed at `at`.
    void committed(std::uint64_t end, Clock::time_point at);

    // When the next read is due: the oldest commit not yet confirmed has aged a window, and
    // the last read is `spacing` ago (none: max()).
    Clock::time_point due() const;

    struct Confirmation {
        std::uint64_t durable = 0;  // the end of the last commit now confirmed (0: none)
        bool forgot = false;        // the server shows less than an aged commit's end
    };
    // The server showed position `shown` in a read that began at `readat`: the commits that
    // had aged a window by then and lie within it are confirmed.
    Confirmation confirm(std::uint64_t shown, Clock::time_point readat);

    // The server's position is `shown`: commits beyond it are to be sent again.
    void rewind(std::uint64_t shown);

private:
    struct Commit {
        std::uint64_t end;
        Clock::time_point at;
    };
    Clock::duration window_;
    Clock::duration spacing_;
    Clock::time_point lastread_{};
    std::deque<Commit> commits_;
};
