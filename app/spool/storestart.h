// Where the store begins: the station this spool stores as, and the positions that the
// progress file (or, where it is missing or damaged, the journal) gives.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "journal.h"
#include "progressfile.h"
#include "stationid.h"

struct StoreStart {
    StationId station{};
    // The station's row, when the server has none, starts at `stored` (a station new to
    // the server: a copy of a spool, or the XA version's spool) rather than at `durable`.
    bool newstation = false;
    std::uint64_t stored = 0;
    std::uint64_t durable = 0;
    // The journal's end before this run appended anything: a server position beyond it
    // means that the journal lost records the server has.
    std::uint64_t journalend = 0;
    std::optional<LegacyBatch> legacy;
};

// Chooses the start of the spool in `dir`; says on `report` when the station's id changed
// or the progress file was missing.
StoreStart storestart(const std::string& dir, const ProgressFile& progress, const Journal& journal,
                      std::ostream& report);
