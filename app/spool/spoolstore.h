// The spool's store: a thread that stores journaled packets in arrival order, one
// transaction per batch. With nothing waiting, a packet goes over a connection of its own;
// with a backlog, one connection stays open and each statement carries many packets.
// A database failure never ends it: it backs off, tries again and reports the outage.
#pragma once

#include <memory>
#include <ostream>
#include <thread>
#include <vector>

#include "batchconnection.h"
#include "dbsettings.h"
#include "journal.h"
#include "progressfile.h"
#include "retrypolicy.h"

class SpoolStore {
public:
    // The most packets one batch carries (six rows each).
    static constexpr std::size_t MaxBatch = 1000;

    SpoolStore(Journal& journal, ProgressFile& progress, const DbSettings& settings,
               std::ostream& report);

    // Runs the store on a thread of its own until the process ends.
    void start();

private:
    void run();
    void storenext(std::unique_ptr<BatchConnection>& connection);
    void settle(BatchConnection& connection);
    void storebatch(BatchConnection& connection, const JournalRead& batch);
    void finish(const std::vector<JournalEntry>& entries, std::uint64_t end);
    void record(Progress::Batch batch, std::uint32_t count, std::uint64_t xid, std::uint64_t session);
    std::uint64_t waiting() const;

    Journal& journal_;
    ProgressFile& progress_;
    const DbSettings settings_;
    std::ostream& report_;
    RetryPolicy retry_;
    std::thread thread_;
};
