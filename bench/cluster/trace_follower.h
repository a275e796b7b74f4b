// Follows a motelog's trace file as it grows: how many packets it has read off the line,
// and when each packet was first traced as stored, which happens after its batch's
// commit. The time a line is read stands for the time it was written: the benchmark
// reads every few milliseconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TraceFollower {
public:
    // Follows `path`, which need not exist yet.
    explicit TraceFollower(std::string path);
    ~TraceFollower();

    TraceFollower(const TraceFollower&) = delete;
    TraceFollower& operator=(const TraceFollower&) = delete;

    // Reads what was written since the last call; `now` stamps the packets it shows stored.
    void poll(double now);

    // Packets read off the line ("Header:" lines).
    std::uint64_t headers() const { return headers_; }
    // Packets traced as stored, each mote id counted once.
    std::uint64_t stored() const { return stored_; }
    // When mote `moteid` was first traced as stored; negative when not yet.
    double storedAt(std::uint16_t moteid) const { return storedAt_[moteid]; }

private:
    void take(const std::string& line, double now);

    std::string path_;
    int fd_ = -1;
    std::string partial_;  // a line not yet ended
    std::uint64_t headers_ = 0;
    std::uint64_t stored_ = 0;
    std::vector<double> storedAt_;
};
