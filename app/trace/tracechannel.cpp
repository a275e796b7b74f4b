#include "tracechannel.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "tracebacklog.h"

namespace {

constexpr std::size_t LargestWrite = 64 * 1024;
// Trace text that comes faster than the writer thread gets the processor (a drained
// batch's, on a busy machine) waits for room, at most RoomWait: only standard output that
// stops taking text makes lines drop. A write that has taken longer than WriteStuck
// means it has stopped: then nothing waits.
constexpr auto RoomWait = std::chrono::milliseconds(100);
constexpr auto WriteStuck = std::chrono::milliseconds(10);

// Says `line` on standard error in one write, as other threads report there too.
void sayonstderr(const std::string& line) { std::cerr << line << std::flush; }

// Writes all of `text` to standard output; 0, or the errno of the write that failed.
int writeout(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
        } else if (errno == EAGAIN) {
            // Standard output that someone else made non-blocking.
            pollfd out{STDOUT_FILENO, POLLOUT, 0};
            poll(&out, 1, -1);
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

class Channel {
public:
    Channel(TraceLevel level, std::size_t capacity) : level_(level), backlog_(capacity) {
        std::thread([this] { run(); }).detach();
    }

    TraceLevel level() const { return level_; }

    void offer(std::string_view text) {
        TraceBacklog::Change change;
        {
            std::unique_lock<std::mutex> guard(mutex_);
            const auto giveup = std::chrono::steady_clock::now() + RoomWait;
            while (!roomfor(text.size()) && !stuck() && std::chrono::steady_clock::now() < giveup)
                room_.wait_for(guard, WriteStuck);
            change = backlog_.offer(text);
        }
        queued_.notify_one();
        if (change.resumedafter > 0)
            sayonstderr("motelog: standard output takes the trace again; " +
                        std::to_string(change.resumedafter) + " trace lines were dropped\n");
        if (change.startsdropping)
            sayonstderr(
                "motelog: standard output does not take the trace; dropping whole trace "
                "lines while its backlog of " +
                std::to_string(backlog_.capacity()) + " bytes is full\n");
    }

    bool drained(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> guard(mutex_);
        return written_.wait_for(guard, limit, [this] { return backlog_.empty() && !writing_; });
    }

private:
    // With mutex_ held.
    bool roomfor(std::size_t size) const {
        return backlog_.bytes() + std::min(size, backlog_.capacity()) <= backlog_.capacity();
    }
    bool stuck() const {
        return writing_ && std::chrono::steady_clock::now() - writestarted_ > WriteStuck;
    }

    void run() {
        bool reported = false;
        for (;;) {
            std::string text;
            {
                std::unique_lock<std::mutex> guard(mutex_);
                writing_ = false;
                if (backlog_.empty()) written_.notify_all();
                queued_.wait(guard, [this] { return !backlog_.empty(); });
                text = backlog_.take(LargestWrite);
                writing_ = true;
                writestarted_ = std::chrono::steady_clock::now();
            }
            room_.notify_all();
            const int error = writeout(text);
            if (error != 0 && !reported) {
                reported = true;
                sayonstderr(std::string("motelog: writing the trace to standard output failed (") +
                            std::strerror(error) +
                            "); readings are still stored, the trace is lost\n");
            }
        }
    }

    const TraceLevel level_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable written_;
    std::condition_variable room_;
    TraceBacklog backlog_;
    bool writing_ = false;
    std::chrono::steady_clock::time_point writestarted_;
};

// Set once by starttrace, before other threads trace (the stop thread may look at any
// time); never destroyed, as the writer may still run while the process exits.
std::atomic<Channel*> channel{nullptr};

// What the calling thread has traced and not yet handed on.
struct ThreadTrace {
    std::string pending;
    int parts = 0;  // TraceParts alive
};
thread_local ThreadTrace local;

// Hands the calling thread's complete lines to the channel.
void handon(Channel& to) {
    const std::size_t end = local.pending.rfind('\n');
    if (end == std::string::npos) return;
    to.offer(std::string_view(local.pending).substr(0, end + 1));
    local.pending.erase(0, end + 1);
}

std::string formatted(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    char small[256];
    const int size = std::vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (size < 0) {
        va_end(again);
        return text;
    }
    if (static_cast<std::size_t>(size) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(size));
    } else {
        text.resize(static_cast<std::size_t>(size) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(size));
    }
    va_end(again);
    return text;
}

}  // namespace

TraceLevel tracelevelfromenvironment() {
    const char* value = std::getenv("MOTELOG_TRACE");
    const std::string level = value ? value : "";
    if (level.empty() || level == "full") return TraceLevel::Full;
    if (level == "summary") return TraceLevel::Summary;
    if (level == "off") return TraceLevel::Off;
    throw std::invalid_argument("MOTELOG_TRACE=" + level +
                                " is no trace level: give full, summary or off");
}

std::size_t tracebacklogfromenvironment() {
    const char* value = std::getenv("MOTELOG_TRACE_BACKLOG");
    if (!value || !*value) return DefaultTraceBacklog;
    const std::string text = value;
    if (text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(text) == 0)
        throw std::invalid_argument("MOTELOG_TRACE_BACKLOG=" + text +
                                    " is not a size: give a whole number of bytes");
    return static_cast<std::size_t>(std::stoull(text));
}

void starttrace(TraceLevel level, std::size_t backlogbytes) {
    channel = new Channel(level, backlogbytes);
}

TraceLevel tracelevel() {
    Channel* const to = channel;
    return to ? to->level() : TraceLevel::Full;
}

void trace(std::string_view text) {
    Channel* const to = channel;
    if (!to) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    if (to->level() != TraceLevel::Full) return;
    local.pending.append(text);
    if (local.parts == 0) handon(*to);
}

void tracef(const char* format, ...) {
    if (tracelevel() != TraceLevel::Full) return;
    va_list args;
    va_start(args, format);
    const std::string text = formatted(format, args);
    va_end(args);
    trace(text);
}

TracePart::TracePart() { ++local.parts; }

TracePart::~TracePart() {
    Channel* const to = channel;
    if (--local.parts == 0 && to) handon(*to);
}

void tracesummary(const std::string& line) {
    Channel* const to = channel;
    if (to && to->level() == TraceLevel::Summary) to->offer(line);
}

bool drainedtrace(std::chrono::milliseconds limit) {
    Channel* const to = channel;
    return to ? to->drained(limit) : std::fflush(stdout) == 0;
}
