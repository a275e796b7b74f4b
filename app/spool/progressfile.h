// How far the store has got, kept in the spool directory's file "progress": the station
// this spool stores as, the position up to which the server has acknowledged our batches,
// and the position up to which it still showed them a replay window later (the journal
// keeps every record from there on). The file is only ever replaced whole: the new record
// is written to a spare file, synced and exchanged with the old one, and the directory is
// synced, so a crash leaves either the old record or the new one.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "legacyprogress.h"
#include "stationid.h"

struct Progress {
    StationId station{};        // none until the first record is written
    std::uint64_t stored = 0;   // every record before this seq was committed on the server
    std::uint64_t durable = 0;  // ... and was still there a replay window after its commit
};

class ProgressFile {
public:
    enum class Found {
        Fresh,     // no file: a new spool, or one whose file was lost
        Current,   // a record of this version
        Upgraded,  // the XA version's file, read once
        Damaged,   // a file that holds no intact record
    };

    // Reads DIR/progress; a damaged file is reported on `report`. Throws std::system_error
    // naming the file when it cannot be read.
    ProgressFile(const std::string& dir, std::ostream& report);

    Found found() const { return found_; }
    const Progress& current() const { return current_; }
    // The batch that the XA version left open, read from its file.
    const std::optional<LegacyBatch>& legacybatch() const { return legacy_; }

    enum class Sync { Disk, Later };
    // Replaces the record with `next`, through to the disk (Disk), or leaving that to the
    // system (Later: a crash may bring back the last record written to the disk, never a
    // torn one). Throws std::system_error naming the step that failed; the file and
    // current() then keep the old record.
    void write(const Progress& next, Sync sync = Sync::Disk);

private:
    void read(std::ostream& report);
    void makespare();

    std::string dir_;
    std::string path_;
    Found found_ = Found::Fresh;
    Progress current_;
    std::optional<LegacyBatch> legacy_;
};
