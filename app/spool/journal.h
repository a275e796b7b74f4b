// The spool's journal: append-only segment files of journal records in one directory.
// The reader appends, the store reads from its committed position on and releases what it
// has stored, so that wholly stored segments are deleted. Safe to use from both threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "journalrecord.h"

struct AppendResult {
    enum Outcome { Stored, AtCap, Failed } outcome = Stored;
    int error = 0;  // errno of the failed write, for Failed
};

// Records read from the journal: the batch they make runs from the seq asked for up to
// `end`, which may lie beyond the last entry's seq when records were missing.
struct JournalRead {
    std::vector<JournalEntry> entries;
    std::uint64_t end = 0;
};

class Journal {
public:
    // Opens the journal in the existing directory `dir`, whose segments may hold at most
    // `capbytes` together; the next record appended is numbered `firstseq` or later. Recovery
    // keeps every segment's whole, intact records; a damaged tail is reported on `report`
    // and cut off. Throws std::system_error naming the file when a file cannot be used.
    Journal(const std::string& dir, std::uint64_t capbytes, std::uint64_t firstseq,
            std::ostream& report);
    ~Journal();

    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Appends one record with a single write. At the cap, or when the write fails (a full
    // disk), nothing is appended and the journal stays as it was.
    AppendResult append(std::int64_t arrivalus, const MotePacket& packet);

    // Up to `max` records with seq `from` or later, in order, and the seq after the last
    // one read. Throws std::system_error when a segment cannot be read.
    JournalRead read(std::uint64_t from, std::size_t max);

    // The seq of the first record the journal still holds (end() when it holds none).
    std::uint64_t begin() const;
    // The seq the next appended record gets.
    std::uint64_t end() const;
    // Waits up to `timeout` for a record with seq `from` or later; returns whether one is there.
    bool waitfor(std::uint64_t from, std::chrono::milliseconds timeout);

    // Deletes the segments whose records all come before `from` (they are stored).
    void release(std::uint64_t from);

    // Writes what has been appended through to the disk. Returns false when that failed.
    bool sync();

    std::uint64_t bytes() const;

private:
    struct Segment {
        std::uint64_t first;  // seq of its first record
        std::uint64_t count;  // records in it
        std::string path;
    };

    void recover(std::ostream& report);
    void startsegment(std::uint64_t first);

    std::string dir_;
    std::uint64_t cap_;
    std::uint64_t segmentlimit_;  // a segment is closed when the next record would pass it
    mutable std::mutex mutex_;
    std::condition_variable appended_;
    std::vector<Segment> segments_;  // in seq order; the last one is written
    int writefd_ = -1;
    std::uint64_t bytes_ = 0;
};
