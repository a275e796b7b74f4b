// The one way trace text reaches standard output. Once started, a thread of its own
// writes it, so that neither the reader nor the store ever waits for whoever reads
// standard output: a bounded backlog of whole lines sits between them, and when it is
// full while standard output takes nothing, whole lines are dropped and counted, with one
// line on standard error when dropping starts and one when the trace flows again. While
// standard output takes text, a full backlog makes the tracing thread wait a moment for
// the writer thread instead. Before it is started (the unit tests), trace text is written
// at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <sstream>
#include <string>
#include <string_view>

enum class TraceLevel {
    Full,     // every step of every packet
    Summary,  // one line a minute of figures
    Off,      // nothing on standard output
};

constexpr std::size_t DefaultTraceBacklog = std::size_t{1} << 20;  // bytes

// The level from MOTELOG_TRACE (full, summary or off; unset or empty: full). Throws
// std::invalid_argument naming the value when it is none of those.
TraceLevel tracelevelfromenvironment();

// The backlog's bound in bytes from MOTELOG_TRACE_BACKLOG (unset or empty: the default).
// Throws std::invalid_argument when it is not a positive whole number.
std::size_t tracebacklogfromenvironment();

// Starts the writer thread with `level` and a backlog of at most `backlogbytes`. Call it
// once, before any other thread traces.
void starttrace(TraceLevel level, std::size_t backlogbytes);

// The level in force; Full before starttrace.
TraceLevel tracelevel();

// Appends `text` to the calling thread's trace; at the full level only. Each thread's
// complete lines go to standard output in the order they were written, never cut.
void trace(std::string_view text);

// trace() of printf-style formatted text.
void tracef(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A line or more built with stream output (the standard stream's number formats), traced
// when it goes out of scope.
class TraceText {
public:
    TraceText() = default;
    TraceText(const TraceText&) = delete;
    TraceText& operator=(const TraceText&) = delete;
    ~TraceText() { trace(text_.str()); }

    template <typename T>
    TraceText& operator<<(const T& value) {
        text_ << value;
        return *this;
    }

private:
    std::ostringstream text_;
};

// While one lives, the calling thread's trace is held back, and it goes out in one piece
// when the outermost one ends: no line of another thread lands inside it.
class TracePart {
public:
    TracePart();
    ~TracePart();
    TracePart(const TracePart&) = delete;
    TracePart& operator=(const TracePart&) = delete;
};

// Writes `line` (one whole line, with its line end) at the summary level; nothing at the
// others.
void tracesummary(const std::string& line);

// Waits until everything traced so far has been written, at most `limit`; returns
// whether it has. Standard output that nobody reads costs the wait, never more.
bool drainedtrace(std::chrono::milliseconds limit);
