// When the store tries the database again after a failure, and what it says about it:
// one line when an outage begins, one for each further error not yet reported in it, and
// one when it ends; never one per attempt. A statement that the server refuses for good is
// no outage: it gets a line of its own and slow retries.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <set>
#include <string>

class RetryPolicy {
public:
    using Clock = std::chrono::steady_clock;

    // Waits grow from `first` by doubling to at most `longest`.
    explicit RetryPolicy(std::ostream& report, std::chrono::milliseconds first = std::chrono::seconds(1),
                         std::chrono::milliseconds longest = std::chrono::seconds(5));

    // An attempt failed with `error`. Returns how long to wait before the next one.
    std::chrono::milliseconds failed(const std::string& error, Clock::time_point now = Clock::now());

    // The server refused a statement for good (`error`; `advice` says what to do). Returns
    // how long to wait before the next attempt: `slow`.
    std::chrono::milliseconds refused(const std::string& error, const std::string& advice);

    // A batch was stored; ends an outage, saying how long it lasted and how many packets
    // (`waiting`) waited for the database.
    void succeeded(std::uint64_t waiting, Clock::time_point now = Clock::now());

    bool down() const { return down_; }

private:
    void report(const std::string& line);

    std::ostream& report_;
    const std::chrono::milliseconds first_;
    const std::chrono::milliseconds longest_;
    const std::chrono::milliseconds slow_ = std::chrono::seconds(30);
    std::chrono::milliseconds next_;
    bool down_ = false;
    Clock::time_point since_;
    std::set<std::string> reported_;
};
