// Times as the table holds them: DATETIME wall-clock values without a time zone. They are
// handled as seconds counted as if the wall clock were UTC, so that no time zone or
// daylight-saving change enters the arithmetic.
#pragma once

#include <string>

namespace report {

using WallSeconds = long long;

// A --since or --until value: a point in time, or a span counted back from a reference.
struct TimeBound {
    bool isspan = false;
    long long seconds = 0;  // WallSeconds for a point, a length in seconds for a span
};

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" (a 'T' may replace the
// space) or a span "N" + s, m, h, d or w ("24h", "90m"). Throws std::invalid_argument
// naming `option` when `text` is none of them.
TimeBound parsetimebound(const std::string& option, const std::string& text);

// "YYYY-MM-DD HH:MM:SS", as the server reads and writes a DATETIME.
std::string formatwall(WallSeconds seconds);

// What TO_SECONDS() gives for 1970-01-01 00:00:00: turns the server's day-0 seconds
// into WallSeconds.
constexpr long long kToSecondsOfEpoch = 62167219200LL;

}  // namespace report
