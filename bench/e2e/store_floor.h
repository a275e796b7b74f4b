// The database floor: per packet exactly what the logger's store does (connect, one
// template insert per reading, close), with no serial line and no trace.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "bench_traffic.h"
#include "dbsettings.h"

struct FloorResult {
    std::uint64_t packets = 0;
    double seconds = 0;
};

// Stores the packets of `rows` in turn, `packets` in all or until `limit` has passed.
// Throws what the store throws.
FloorResult measureStoreFloor(const DbSettings& settings, const std::vector<PacketRows>& rows,
                              std::uint64_t packets, std::chrono::seconds limit);
