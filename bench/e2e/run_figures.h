// Figures the benchmarks report alike: latency percentiles, and packets lost or stored twice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Percentile `share` (0..1) of sorted `values`; 0 when there are none.
double percentile(const std::vector<double>& values, double share);

// Packets by how often they were stored, counted by their rows in the end.
struct Tally {
    std::uint64_t lost = 0;        // not stored, or not all their rows
    std::uint64_t duplicated = 0;  // stored more than once
};

// "lost: N packets, duplicated: N packets"
std::string tallyText(const Tally& tally);
