#include "walltime.h"

#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace report {

namespace {

bool parsespan(const std::string& text, long long& seconds) {
    if (text.size() < 2) return false;
    long long count = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || count > 100000000LL) return false;
        count = count * 10 + (text[i] - '0');
    }
    static const std::string units = "smhdw";
    constexpr long long unitseconds[] = {1, 60, 3600, 86400, 604800};
    const std::size_t unit = units.find(text.back());
    if (unit == std::string::npos) return false;
    seconds = count * unitseconds[unit];
    return true;
}

bool parsepoint(const std::string& text, long long& seconds) {
    std::tm parts{};
    char separator = ' ';
    int consumed = 0;
    const int fields =
        std::sscanf(text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d%n:%2d%n", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &consumed, &separator, &parts.tm_hour, &parts.tm_min, &consumed,
                    &parts.tm_sec, &consumed);
    if (fields != 3 && fields != 6 && fields != 7) return false;
    if (fields > 3 && separator != ' ' && separator != 'T') return false;
    if (static_cast<std::size_t>(consumed) != text.size()) return false;
    if (parts.tm_mon < 1 || parts.tm_mon > 12 || parts.tm_mday < 1 || parts.tm_mday > 31 ||
        parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_sec > 59)
        return false;
    const int day = parts.tm_mday;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    seconds = timegm(&parts);
    return parts.tm_mday == day;  // timegm moves 31 April to 1 May
}

}  // namespace

TimeBound parsetimebound(const std::string& option, const std::string& text) {
    TimeBound bound;
    if (parsespan(text, bound.seconds)) {
        bound.isspan = true;
        return bound;
    }
    if (parsepoint(text, bound.seconds)) return bound;
    throw std::invalid_argument(option + " wants a time like '2026-12-07 10:30' or a span like " +
                                "'24h', '90m', '7d', not '" + text + "'");
}

std::string formatwall(WallSeconds seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

}  // namespace report
