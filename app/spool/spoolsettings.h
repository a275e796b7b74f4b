// Whether motelog stores through a spool, and how large the spool may grow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

constexpr std::uint64_t DefaultSpoolCap = std::uint64_t{1} << 30;  // 1 GiB
// 13 journal records: three of the smallest segments (4 records) fit, so stored segments
// are given back while another is written, and a short burst is not dropped.
constexpr std::uint64_t SmallestSpoolCap = 1024;

struct SpoolSettings {
    std::string dir;
    std::uint64_t capbytes = DefaultSpoolCap;
};

// From MOTELOG_SPOOL (the directory; unset or empty: no spool) and MOTELOG_SPOOL_MAX (the
// cap in bytes: a whole number with an optional suffix K, M or G for KiB, MiB or GiB, at
// least SmallestSpoolCap).
// Throws std::invalid_argument saying what is wrong with MOTELOG_SPOOL_MAX.
std::optional<SpoolSettings> spoolsettingsfromenvironment();

// `text` as a size in bytes by the rules above; throws std::invalid_argument.
std::uint64_t parsesize(const std::string& text);
