#include "spoolstore.h"

#include <mutex>
#include <system_error>

#include "arrivalclock.h"
#include "batchstatement.h"
#include "errorclass.h"
#include "packettrace.h"
#include "stagebeat.h"
#include "stationstatements.h"
#include "stationstatus.h"
#include "stopwatcher.h"
#include "testseams.h"
#include "tracechannel.h"

namespace {

using Clock = std::chrono::steady_clock;

// An idle store closes its connection after this long without records.
constexpr auto IdleCheck = std::chrono::seconds(1);
// Deadlocks and certification conflicts retried at once before they count as an outage.
constexpr int QuickRetries = 3;
// Commits that have aged are confirmed by one read at most this often.
constexpr auto ConfirmSpacing = std::chrono::seconds(1);

std::uint64_t asposition(const std::string& text) { return std::stoull(text); }

void reportline(std::ostream& report, const std::string& line) {
    report << line + '\n' << std::flush;
}

std::string packets(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " packet" : " packets");
}

}  // namespace

SpoolStore::SpoolStore(Journal& journal, ProgressFile& progress, const DbSettings& settings,
                       const StoreStart& start, std::ostream& report)
    : journal_(journal),
      progress_(progress),
      settings_(settings),
      report_(report),
      retry_(report),
      hosts_(parsehostlist(settings.host)),
      station_(start.station),
      newstation_(start.newstation),
      legacy_(start.legacy),
      next_(start.stored),
      storedupto_(start.stored),
      durable_(start.durable),
      startend_(start.journalend),
      window_(replaywindow(ReplayWindowLength), ConfirmSpacing) {}

void SpoolStore::start() {
    thread_ = std::thread([this] { run(); });
    thread_.detach();
}

void SpoolStore::run() {
    State state = legacy_ ? State::Settling : State::Locating;
    for (;;) {
        try {
            storestage().busy();
            state = step(state);
            storedupto_ = next_;
            station().databaseworked();
        } catch (const StoreError& error) {
            state = failed(error);
        } catch (const std::system_error& error) {
            spoolfailed(error);  // the same step again, once the spool's files work
        } catch (const std::exception& error) {
            state = failed(StoreError(error.what(), 0));  // e.g. a position that is no number
        }
    }
}

// The commit protocol. Each transition names the record that makes it safe to take.
SpoolStore::State SpoolStore::step(State state) {
    switch (state) {
        case State::Settling:
            // The XA version's progress record names the open transaction; until the new
            // record is written, a restart settles it again, which finds it settled.
            settle();
            return State::Locating;
        case State::Locating:
            // The server's row moves only in the transaction that stores a batch: whatever
            // it shows is exactly what is stored.
            locate();
            return State::Recording;
        case State::Idle:
            return idle();
        case State::Storing:
            // The batch's records are on the disk before its commit, and the row's key lets
            // the commit land only where the server's position is the batch's first record.
            // A commit that the progress file missed is recorded before the next one.
            if (unrecorded_) return State::Recording;
            return storebatch() ? State::Idle : State::Locating;
        case State::Confirming:
            // The journal holds every record from the durable position on, so whatever the
            // server forgot can be sent again.
            return confirm() ? State::Recording : State::Locating;
        case State::Recording:
            // The journal frees only what the renamed progress file calls durable, and the
            // file's station is the one the server now has a row for.
            record();
            return State::Idle;
    }
    return State::Locating;
}

SpoolStore::State SpoolStore::failed(const StoreError& error) {
    connection_.reset();
    const State again = legacy_ ? State::Settling : State::Locating;
    if (retryatonce(error.code) && ++quickretries_ <= QuickRetries) return again;
    quickretries_ = 0;
    hosts_.failed();
    const std::string advice = erroradvice(error.code);
    station().databasefailed(error.what());
    storestage().waiting();  // the back-off
    const std::chrono::milliseconds wait =
        classifyerror(error.code) == ErrorClass::Permanent
            ? retry_.refused(error.what(), advice)
            : retry_.failed(advice.empty() ? error.what() : error.what() + ("; " + advice));
    std::this_thread::sleep_for(wait);
    return again;
}

void SpoolStore::spoolfailed(const std::system_error& error) {
    connection_.reset();
    if (spoolproblem_ != error.what())
        reportline(report_,
                   std::string("motelog: the spool's files fail, storing waits until they work: ") +
                       error.what());
    spoolproblem_ = error.what();
    storestage().waiting();
    std::this_thread::sleep_for(std::chrono::seconds(1));
}

BatchConnection& SpoolStore::connection() {
    if (!connection_)
        connection_ = hosts_.firstanswering(
            [&](const DbHost& host) { return std::make_unique<BatchConnection>(settings_, host); });
    return *connection_;
}

// The XA version named a batch's transaction after its spool id and progress generation.
// Settling it needs no KILL: a connection that still holds it makes us wait.
void SpoolStore::settle() {
    BatchConnection& db = connection();
    const LegacyBatch batch = *legacy_;
    const std::string xid = batchxid(batch.spoolid, batch.xid);
    enum { Committed, RolledBack, Unknown } outcome = batch.prepared ? Committed : RolledBack;
    // With autocommit off, the session is inside a transaction of its own, where XA
    // statements are refused.
    db.run("SET SESSION autocommit = 1");
    try {
        db.run((batch.prepared ? "XA COMMIT " : "XA ROLLBACK ") + xid);
    } catch (const StoreError& error) {
        if (error.code != UnknownXid) throw;
        const std::string name = xid.substr(1, xid.size() - 2);
        for (const auto& row : db.rows("XA RECOVER"))
            if (row.size() == 4 && row[3] == name)
                throw StoreError("the batch " + xid +
                                     " that motelog's XA version left open is held by " +
                                     "another connection; waiting until the server ends it",
                                 error.code);
        if (batch.prepared) outcome = Unknown;
    }
    db.run("SET SESSION autocommit = 0");
    const std::uint64_t first = next_;
    if (outcome != RolledBack) next_ += batch.count;
    durable_ = next_;
    {
        // A stop waits until the batch is traced and the settlement recorded.
        const std::lock_guard<std::mutex> guard(packetlock());
        if (outcome != RolledBack) tracestored(journal_.read(first, batch.count).entries);
        progress_.write(Progress{station_, next_, durable_});
    }
    legacy_.reset();
    const char* const said[] = {"committed it", "rolled it back; its packets are stored again",
                                "the server no longer knows it: it was committed before, or the "
                                "server lost it; counted as stored"};
    reportline(report_, "motelog: motelog's XA version left a batch of " + packets(batch.count) +
                            " " + (batch.prepared ? "prepared" : "being prepared") + " (" + xid +
                            "): " + said[outcome]);
}

// The server's position for this station; none when it has no row for it.
std::optional<std::uint64_t> SpoolStore::serverposition() {
    BatchConnection& db = connection();
    const std::optional<std::string> row = db.value(positionread(station_));
    db.run("ROLLBACK");  // the read began a transaction
    if (!row) return std::nullopt;
    return asposition(*row);
}

void SpoolStore::locate() {
    const std::optional<std::uint64_t> position = serverposition();
    if (!position) {
        // A new station starts where its spool stands; a station whose row the server lost
        // starts where the server last confirmed it.
        const std::uint64_t at = newstation_ ? next_ : durable_;
        BatchConnection& db = connection();
        db.run(positioncreate(station_, at));
        db.run("COMMIT");
        next_ = durable_ = at;
        newstation_ = false;
        located_ = true;
        return;
    }
    std::uint64_t shown = *position;
    // Until this run has stored a batch, its new records may already carry the numbers of
    // records that the journal lost: the end that counts is the one it had at the start.
    const std::uint64_t begin = journal_.begin(), end = located_ ? journal_.end() : startend_;
    if (shown > end) {
        reportline(report_,
                   "motelog: the database has " + packets(shown - end) +
                       " of this station beyond the end of the spool journal; the journal lost "
                       "them, and new packets are stored from its end");
        moveposition(shown, end);
        shown = end;
    } else if (shown < begin) {
        reportline(report_, "motelog: the database lacks " + packets(begin - shown) +
                                " that the spool journal no longer holds; they are lost");
        moveposition(shown, begin);
        shown = begin;
    } else if (located_ ? shown < next_ : shown < progress_.current().stored) {
        reportline(report_,
                   "motelog: the database lost " + packets(next_ - shown) +
                       " that it had taken (its last commits, in a crash?); they are stored "
                       "again from the spool");
    } else if (shown > next_) {
        tracefound(std::max(next_, begin), shown);
    }
    next_ = shown;
    if (durable_ > shown) durable_ = shown;
    window_.rewind(shown);
    located_ = true;
    newstation_ = false;
    if (next_ == journal_.end() && retry_.down()) retry_.succeeded(0);
}

void SpoolStore::moveposition(std::uint64_t from, std::uint64_t to) {
    BatchConnection& db = connection();
    if (db.change(positionmove(station_, from, to)) != 1) {
        db.run("ROLLBACK");
        throw StoreError("this station's position in the database moved while it was being set", 0);
    }
    db.run("COMMIT");
}

SpoolStore::State SpoolStore::idle() {
    const auto now = Clock::now();
    // Confirmations go first, so that a long drain gives journal space back as it goes.
    if (window_.due() <= now) return State::Confirming;
    if (journal_.end() > next_) return State::Storing;
    if (now - lastbusy_ >= IdleCheck) connection_.reset();  // the next packet connects anew
    const auto until = std::min(window_.due(), now + IdleCheck);
    storestage().waiting();  // a quiet line may keep the store idle for ever
    journal_.waitfor(next_, std::chrono::duration_cast<std::chrono::milliseconds>(until - now) +
                                std::chrono::milliseconds(1));
    return State::Idle;
}

bool SpoolStore::storebatch() {
    const std::uint64_t backlog = journal_.end() - next_;
    const JournalRead read = journal_.read(next_, MaxBatch);
    const std::uint64_t first = next_, end = read.end;
    if (!journal_.sync()) {
        // Not on the disk yet, so not to be stored: a power cut could take them after the
        // commit. The journal has said so; Idle finds the batch waiting still.
        storestage().waiting();
        std::this_thread::sleep_for(IdleCheck);
        return true;
    }
    BatchConnection& db = connection();
    killpoint("before-update");
    if (db.change(positionmove(station_, first, end)) != 1) {
        db.run("ROLLBACK");
        return false;
    }
    killpoint("after-update");
    const std::string insert = batchinsert(read.entries, arrivalnow());
    if (!insert.empty()) db.run(insert);
    killpoint("after-insert");
    db.run("COMMIT");
    killpoint("after-commit");
    next_ = end;
    // Packets dropped for want of room are lost for certain, a commit the server may forget
    // only perhaps: a full journal gives back what is stored at once, and a server that
    // forgets it then is reported as having lost it.
    if (journal_.full()) {
        durable_ = next_;
        journal_.release(durable_);
    }
    lastbusy_ = Clock::now();
    window_.committed(end, lastbusy_);
    quickretries_ = 0;
    retry_.succeeded(backlog);
    {
        // The progress file follows each commit, for a copy of the spool made after a stop:
        // its new station's row starts where this one stands. A stop waits for both.
        const std::lock_guard<std::mutex> guard(packetlock());
        tracestored(read.entries);
        unrecorded_ = true;
        progress_.write(Progress{station_, next_, durable_}, ProgressFile::Sync::Later);
        unrecorded_ = false;
    }
    return true;
}

bool SpoolStore::confirm() {
    const auto readat = Clock::now();
    const std::optional<std::uint64_t> position = serverposition();
    if (!position) return false;
    const ReplayWindow::Confirmation confirmed = window_.confirm(*position, readat);
    if (confirmed.forgot) return false;
    if (confirmed.durable > durable_) durable_ = confirmed.durable;
    return true;
}

void SpoolStore::record() {
    const Progress next{station_, next_, durable_};
    const Progress& now = progress_.current();
    if (unrecorded_ || now.station != next.station || now.stored != next.stored ||
        now.durable != next.durable) {
        killpoint("before-progress");
        progress_.write(next);
        killpoint("after-progress");
    }
    unrecorded_ = false;
    spoolproblem_.clear();
    journal_.release(durable_);
}

// The records [from, to) are stored, by a commit whose answer was lost or by an earlier run
// that ended before it traced them: traced now, so that the trace shows every packet stored.
void SpoolStore::tracefound(std::uint64_t from, std::uint64_t to) {
    while (from < to) {
        const JournalRead read = journal_.read(
            from, static_cast<std::size_t>(std::min<std::uint64_t>(to - from, MaxBatch)));
        std::vector<JournalEntry> found;
        for (const JournalEntry& entry : read.entries)
            if (entry.seq < to) found.push_back(entry);
        {
            const std::lock_guard<std::mutex> guard(packetlock());
            tracestored(found);
        }
        if (read.end <= from) break;
        from = read.end;
    }
}

// Called with packetlock() held: a stop waits for the trace, so that whatever has been
// committed is traced. Each packet's trace goes out in one piece, not the batch's: a full
// batch's trace is more than the trace's backlog holds.
void SpoolStore::tracestored(const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& entry : entries) {
        const TracePart part;
        tracestoredpacket(entry.packet);
        station().stored(entry.packet);
    }
}
