#include "spoolstore.h"

#include <algorithm>
#include <mutex>

#include "arrivalclock.h"
#include "batchstatement.h"
#include "packettrace.h"
#include "stagebeat.h"
#include "stationstatus.h"
#include "stopwatcher.h"
#include "tracechannel.h"

namespace {

constexpr auto IdleCheck = std::chrono::seconds(1);

// XA COMMIT or ROLLBACK of a batch left open by a failure: "no such transaction" means it
// was already completed (commit) or never prepared (rollback), which is what was wanted.
void complete(BatchConnection& connection, const std::string& statement) {
    try {
        connection.run(statement);
    } catch (const StoreError& error) {
        if (error.code != UnknownXid) throw;
    }
}

// Ends the connection that ran an open batch if the server still has it (a network that
// failed may have left it there). Until it has ended, the server keeps the batch's
// transaction with it and calls the transaction unknown to any other connection.
void endsession(BatchConnection& connection, std::uint64_t session) {
    // A connection id is unique among the server's open connections: ours means the old
    // one is gone (the server has restarted since).
    if (session == 0 || session == connection.session()) return;
    for (int attempt = 0; attempt < 50; ++attempt) {
        try {
            connection.run("KILL " + std::to_string(session));
        } catch (const StoreError& error) {
            if (error.code == UnknownSession || error.code == OthersSession) return;
            throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw StoreError("the connection " + std::to_string(session) +
                         " of an unfinished batch does not end",
                     0);
}

}  // namespace

SpoolStore::SpoolStore(Journal& journal, ProgressFile& progress, const DbSettings& settings,
                       std::ostream& report)
    : journal_(journal), progress_(progress), settings_(settings), report_(report), retry_(report) {}

void SpoolStore::start() {
    thread_ = std::thread([this] { run(); });
    thread_.detach();
}

std::uint64_t SpoolStore::waiting() const { return journal_.end() - progress_.current().stored; }

void SpoolStore::run() {
    std::unique_ptr<BatchConnection> connection;
    for (;;) {
        const std::uint64_t backlog = waiting();
        try {
            storestage().busy();
            storenext(connection);
            station().databaseworked();
            if (retry_.down()) retry_.succeeded(backlog);
        } catch (const std::exception& error) {
            connection.reset();
            station().databasefailed(error.what());
            storestage().waiting();  // the back-off
            std::this_thread::sleep_for(retry_.failed(error.what()));
        }
    }
}

void SpoolStore::storenext(std::unique_ptr<BatchConnection>& connection) {
    const Progress::Batch open = progress_.current().batch;
    if (open == Progress::None && !journal_.waitfor(progress_.current().stored, IdleCheck)) {
        connection.reset();
        return;
    }
    if (!connection) connection = std::make_unique<BatchConnection>(settings_);
    if (open != Progress::None) {
        settle(*connection);
        return;
    }
    storebatch(*connection, journal_.read(progress_.current().stored, MaxBatch));
    // With the journal empty, the next packet gets a connection of its own.
    if (waiting() == 0) connection.reset();
}

// Completes the batch that a failure (or the end of an earlier motelog) left open: a
// prepared one is committed, one that may be prepared is rolled back and sent again.
void SpoolStore::settle(BatchConnection& connection) {
    const Progress p = progress_.current();
    const std::string xid = batchxid(p.spoolid, p.batchxid);
    endsession(connection, p.batchsession);
    if (p.batch == Progress::Prepared) {
        complete(connection, "XA COMMIT " + xid);
        const std::uint64_t end = p.stored + p.batchcount;
        std::vector<JournalEntry> entries = journal_.read(p.stored, p.batchcount).entries;
        entries.erase(std::find_if(entries.begin(), entries.end(),
                                   [end](const JournalEntry& entry) { return entry.seq >= end; }),
                      entries.end());
        finish(entries, end);
    } else {
        complete(connection, "XA ROLLBACK " + xid);
        record(Progress::None, 0, 0, 0);
    }
}

void SpoolStore::storebatch(BatchConnection& connection, const JournalRead& batch) {
    const std::string insert = batchinsert(batch.entries, arrivalnow());
    if (!insert.empty()) {
        // Records that the journal has not written through to the disk are not stored yet:
        // a power cut could take them after the commit. The journal reports the failure.
        if (!journal_.sync()) {
            std::this_thread::sleep_for(IdleCheck);
            return;
        }
        const auto count = static_cast<std::uint32_t>(batch.end - progress_.current().stored);
        // The transaction is named by the generation of the progress record that announces it.
        const std::uint64_t name = progress_.current().generation + 1;
        const std::string xid = batchxid(progress_.current().spoolid, name);
        // Every step reaches the disk before the server is asked for the next one: the
        // batch's records (above), then each progress record. A power cut then can neither
        // store a batch twice nor leave one prepared on the server with nothing to finish it.
        record(Progress::Preparing, count, name, connection.session());
        connection.run("XA START " + xid);
        connection.run(insert);
        connection.run("XA END " + xid);
        connection.run("XA PREPARE " + xid);
        record(Progress::Prepared, count, name, connection.session());
        connection.run("XA COMMIT " + xid);
    }
    finish(batch.entries, batch.end);
}

// Records the batch as stored and writes its trace. A stop waits for both, so whatever
// the progress counts as stored has been traced.
void SpoolStore::finish(const std::vector<JournalEntry>& entries, std::uint64_t end) {
    {
        const std::lock_guard<std::mutex> guard(packetlock());
        Progress p = progress_.current();
        p.stored = end;
        p.batch = Progress::None;
        p.batchcount = 0;
        p.batchxid = 0;
        p.batchsession = 0;
        progress_.write(p);
        progress_.sync();
        const TracePart part;
        for (const JournalEntry& entry : entries) {
            tracestoredpacket(entry.packet);
            station().stored(entry.packet);
        }
    }
    journal_.release(progress_.current().stored);
}

void SpoolStore::record(Progress::Batch batch, std::uint32_t count, std::uint64_t xid,
                        std::uint64_t session) {
    Progress p = progress_.current();
    p.batch = batch;
    p.batchcount = count;
    p.batchxid = xid;
    p.batchsession = session;
    progress_.write(p);
    progress_.sync();
}
