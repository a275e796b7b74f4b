#include "spoolsettings.h"

#include <cstdlib>
#include <limits>
#include <stdexcept>

std::uint64_t parsesize(const std::string& text) {
    const std::size_t digits = text.find_first_not_of("0123456789");
    const std::string suffix = digits == std::string::npos ? "" : text.substr(digits);
    const int shift = suffix.empty() ? 0 : suffix == "K" ? 10 : suffix == "M" ? 20 : suffix == "G" ? 30 : -1;
    if (digits == 0 || shift < 0 || text.size() > 15)
        throw std::invalid_argument("MOTELOG_SPOOL_MAX=" + text +
                                    " is not a size: give bytes, or a number with K, M or G");
    const std::uint64_t number = std::stoull(text.substr(0, digits));
    if (number > (std::numeric_limits<std::uint64_t>::max() >> shift))
        throw std::invalid_argument("MOTELOG_SPOOL_MAX=" + text + " is too large");
    const std::uint64_t size = number << shift;
    if (size < SmallestSpoolCap)
        throw std::invalid_argument("MOTELOG_SPOOL_MAX=" + text +
                                    " is too small: the spool needs at least 1K (1024 bytes)");
    return size;
}

std::optional<SpoolSettings> spoolsettingsfromenvironment() {
    const char* dir = std::getenv("MOTELOG_SPOOL");
    if (!dir || !*dir) return std::nullopt;
    SpoolSettings settings;
    settings.dir = dir;
    if (const char* cap = std::getenv("MOTELOG_SPOOL_MAX"); cap && *cap) settings.capbytes = parsesize(cap);
    return settings;
}
