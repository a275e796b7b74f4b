// Reading the buckets of a large table over several connections at once.
#pragma once

#include <vector>

#include "buckets.h"
#include "options.h"

namespace report {

// The buckets of `window`, ordered by mote, data type and slot, as readbuckets gives
// them for the whole table. The table is read in `parts` ranges of logids, each on a
// connection of its own, so that the server scans and groups them on as many cores; 0
// parts chooses one per million rows, at most one per processor and four.
std::vector<Bucket> readallbuckets(Database& db, const ConnectionSettings& settings,
                                   const Window& window, const std::vector<int>& motes,
                                   unsigned parts = 0);

}  // namespace report
