// The spool's journal: append-only segment files of journal records in one directory.
// The reader appends, the store reads from its committed position on and releases what it
// has stored, so that wholly stored segments are deleted. Safe to use from both threads.
//
// Damage is counted, never guessed: records have fixed places, so a damaged record is
// skipped on its own and reported with its file, byte offset and seq; a missing segment
// and a stored position beyond the journal's end are reported with the packets concerned.
// Only an incomplete last record of the last segment (a torn write) is cut off.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "journalrecord.h"

struct AppendResult {
    enum Outcome { Stored, AtCap, Failed } outcome = Stored;
    int error = 0;  // errno of the failed write, for Failed
};

struct JournalRead {
    std::vector<JournalEntry> entries;  // intact records, in seq order
    // The position after the last record covered, damaged and missing ones included: every
    // record before it is either in `entries` or can never be stored.
    std::uint64_t end = 0;
};

// The records not yet stored, and when the first of them arrived on the wall clock, in µs
// since the epoch (0 when none waits).
struct JournalWaiting {
    std::uint64_t records = 0;
    std::int64_t oldestus = 0;
};

class Journal {
public:
    // Opens the journal in the existing directory `dir`, whose segments may hold at most
    // `capbytes` together; every record before `firstseq` is stored, and the next one
    // appended is numbered `firstseq` or later. Damage found on the way is reported on
    // `report`, as is damage found later. Throws std::system_error naming the file when a
    // file cannot be used.
    Journal(const std::string& dir, std::uint64_t capbytes, std::uint64_t firstseq,
            std::ostream& report);
    ~Journal();

    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Appends one record with a single write. At the cap, or when the write fails (a full
    // disk), nothing is appended and the journal stays as it was.
    AppendResult append(const ArrivalTime& arrival, const MotePacket& packet);

    // Up to `max` intact records with seq `from` or later, in order, skipping damaged and
    // missing ones (reported the first time they are met). A `from` beyond the journal's
    // end is reported, and appending goes on from there. Throws std::system_error when a
    // segment cannot be read.
    JournalRead read(std::uint64_t from, std::size_t max);

    // The seq of the first record the journal still holds (end() when it holds none).
    std::uint64_t begin() const;
    // The seq the next appended record gets.
    std::uint64_t end() const;
    // Waits up to `timeout` for a record with seq `from` or later; returns whether one is there.
    bool waitfor(std::uint64_t from, std::chrono::milliseconds timeout);

    // Deletes the segments whose records all come before `from` (they are stored). A
    // journal that found no room gives back its last segment too once it is all stored.
    void release(std::uint64_t from);

    // Writes what has been appended through to the disk. Returns false when that failed:
    // the journal's newest records may not survive a power cut, so nothing may be counted
    // as stored on their strength. The first failure and the first success after failures
    // are reported.
    bool sync();

    std::uint64_t bytes() const;

    // Whether the last append found no room (the cap, or a full disk).
    bool full() const;

    // The records from `from` (the first one not stored) up to the end.
    JournalWaiting waiting(std::uint64_t from);

private:
    struct Segment {
        std::uint64_t first;       // seq of its first record
        std::uint64_t count;       // records in it
        std::size_t recordsize;    // the layout of its records
        std::string path;
        int unsyncedfd = -1;       // a closed segment's, until its records are on the disk
    };

    void recover(std::uint64_t firstseq);
    Segment recoversegment(std::uint64_t first, bool last, std::uint64_t firstseq);
    void readsegment(const Segment& segment, int fd, JournalRead& into, std::size_t max);
    void goonfrom(std::uint64_t seq);
    void startsegment(std::uint64_t first);
    void givebacklast();
    void dropfront();
    std::uint64_t endlocked() const;
    void reportmissing(std::uint64_t from, std::uint64_t to, const std::string& why);
    void reportline(const std::string& line);

    std::string dir_;
    std::uint64_t cap_;
    std::uint64_t segmentlimit_;  // a segment is closed when the next record would pass it
    std::ostream& report_;
    mutable std::mutex mutex_;
    std::condition_variable appended_;
    std::vector<Segment> segments_;  // in seq order; the last one is written
    int writefd_ = -1;
    std::uint64_t bytes_ = 0;
    std::uint64_t released_ = 0;     // every record before it is stored
    bool blocked_ = false;           // the last append found no room
    std::set<std::uint64_t> damaged_;  // seqs of damaged records reported already
    // Syncing: one at a time, and apart from mutex_ so the reader never waits for the disk.
    std::mutex syncmutex_;
    bool directorychanged_ = false;  // a segment was made since the directory was synced
    bool syncfailing_ = false;
};
