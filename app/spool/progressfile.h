// How far the store has got, kept in the spool directory's file "progress": which records
// are stored, and the database transaction a batch is in while it is being committed, so
// that a motelog started after a crash can finish or undo it instead of storing twice.
// The file holds two fixed-size checksummed slots written in turn, so a write torn by a
// crash leaves the other slot standing.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

struct Progress {
    enum Batch : std::uint32_t {
        None = 0,       // no batch under way
        Preparing = 1,  // a batch's transaction may be prepared on the server
        Prepared = 2,   // it is prepared: committing it stores the batch
    };

    std::uint64_t spoolid = 0;    // random, chosen when the spool was made
    std::uint64_t stored = 0;     // every record before this seq is stored
    std::uint64_t generation = 0; // counts the writes; names the batch's transaction
    Batch batch = None;
    std::uint32_t batchcount = 0; // records of the batch, from `stored` on
    std::uint64_t batchxid = 0;   // the generation that named the batch's transaction
    std::uint64_t batchsession = 0;  // the server's id of the connection that ran the batch
};

class ProgressFile {
public:
    // Opens DIR/progress, or creates it with a new spool id. Damaged slots are reported on
    // `report`. Throws std::system_error naming the file when it cannot be used.
    ProgressFile(const std::string& dir, std::ostream& report);
    ~ProgressFile();

    ProgressFile(const ProgressFile&) = delete;
    ProgressFile& operator=(const ProgressFile&) = delete;

    const Progress& current() const { return current_; }
    // Records `next` (its generation is set here). Throws std::system_error on failure.
    void write(Progress next);
    void sync();

private:
    std::string path_;
    int fd_ = -1;
    Progress current_;
};
