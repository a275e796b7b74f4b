#include "trace_follower.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

TraceFollower::TraceFollower(std::string path) : path_(std::move(path)), storedAt_(65536, -1.0) {}

TraceFollower::~TraceFollower() {
    if (fd_ >= 0) close(fd_);
}

void TraceFollower::poll(double now) {
    if (fd_ < 0 && (fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC)) < 0) return;
    char buffer[1 << 16];
    ssize_t n;
    while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
        partial_.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1)
            take(partial_.substr(start, end - start), now);
        partial_.erase(0, start);
    }
}

void TraceFollower::take(const std::string& line, double now) {
    static const std::string stored = "MOTEID = 0x";
    if (line == "Header:") {
        ++headers_;
    } else if (line.compare(0, stored.size(), stored) == 0) {
        const auto mote = static_cast<std::uint16_t>(std::strtoul(line.c_str() + stored.size(), nullptr, 16));
        if (storedAt_[mote] < 0) {
            storedAt_[mote] = now;
            ++stored_;
        }
    }
}
