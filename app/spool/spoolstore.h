// The spool's store: a thread that stores journaled packets in arrival order, one plain
// transaction per batch. Each batch also moves this station's position in the companion
// table from the batch's first record to its end, so that a batch whose fate is unknown,
// sent again, either lands once or finds itself stored already. With nothing waiting, a
// packet goes out at once; with a backlog, each statement carries many packets. A database
// failure never ends it: it backs off, tries again and reports the outage.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>

#include "batchconnection.h"
#include "dbsettings.h"
#include "hostrotation.h"
#include "journal.h"
#include "progressfile.h"
#include "replaywindow.h"
#include "retrypolicy.h"
#include "storestart.h"

class SpoolStore {
public:
    // The most packets one batch carries (six rows each).
    static constexpr std::size_t MaxBatch = 1000;
    // How long after its commit a batch is still sent again if the server lost it.
    static constexpr std::chrono::seconds ReplayWindowLength{10};

    SpoolStore(Journal& journal, ProgressFile& progress, const DbSettings& settings,
               const StoreStart& start, std::ostream& report);

    // Runs the store on a thread of its own until the process ends.
    void start();

    // Every record before this one is stored, as far as the store knows; for any thread.
    std::uint64_t storedupto() const { return storedupto_; }

private:
    enum class State {
        Settling,    // a batch that motelog's XA version left open is committed or rolled back
        Locating,    // the server's position for this station is read and ours set from it
        Idle,        // everything read is stored: waiting for records or for a commit to age
        Storing,     // one batch in one transaction, keyed by the station's position
        Confirming,  // commits that aged a replay window: does the server still have them?
        Recording,   // the progress file takes the durable position; the journal frees space
    };

    void run();
    State step(State state);
    State failed(const StoreError& error);
    void spoolfailed(const std::system_error& error);

    BatchConnection& connection();
    std::optional<std::uint64_t> serverposition();
    void settle();
    void locate();
    State idle();
    bool storebatch();
    bool confirm();
    void record();
    void moveposition(std::uint64_t from, std::uint64_t to);
    void tracefound(std::uint64_t from, std::uint64_t to);
    void tracestored(const std::vector<JournalEntry>& entries);

    Journal& journal_;
    ProgressFile& progress_;
    const DbSettings settings_;
    std::ostream& report_;
    RetryPolicy retry_;
    HostRotation hosts_;
    std::unique_ptr<BatchConnection> connection_;
    const StationId station_;
    bool newstation_;
    std::optional<LegacyBatch> legacy_;
    std::uint64_t next_;     // the first record not yet stored, as far as we know
    std::atomic<std::uint64_t> storedupto_;  // next_, for other threads
    std::uint64_t durable_;  // the journal keeps every record from here on
    const std::uint64_t startend_;
    ReplayWindow window_;
    bool located_ = false;     // the server's position has been read since the store started
    bool unrecorded_ = false;  // a commit that the progress file does not show yet
    int quickretries_ = 0;
    std::chrono::steady_clock::time_point lastbusy_;
    std::string spoolproblem_;  // the spool file failure last reported
    std::thread thread_;
};
