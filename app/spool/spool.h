// The spool between the reader and the database, on when MOTELOG_SPOOL names a directory:
// the lock that keeps it to one motelog, the journal, the progress file, the store thread
// and a thread that writes both files through to the disk about once a second.
#pragma once

#include <memory>
#include <ostream>

#include "dbsettings.h"
#include "journal.h"
#include "progressfile.h"
#include "spoollock.h"
#include "spoolsettings.h"
#include "spoolsink.h"
#include "spoolstore.h"
#include "storestart.h"

// Exit statuses when the spool cannot be used.
constexpr int SpoolUnusableStatus = 2;  // settings wrong, directory or files unusable
constexpr int SpoolInUseStatus = 3;     // another motelog has the directory

class Spool {
public:
    // Creates the directory if needed (not its parents), locks it and recovers the journal,
    // reporting damage on `report`. Throws SpoolInUse, std::system_error.
    Spool(const SpoolSettings& settings, std::ostream& report);

    // Starts the store and the disk syncing.
    void start(const DbSettings& settings);

    PacketSink& sink() { return sink_; }

    // The packets waiting for the database.
    JournalWaiting waiting();

private:
    std::ostream& report_;
    SpoolLock lock_;
    ProgressFile progress_;
    Journal journal_;
    SpoolSink sink_;
    StoreStart start_;
    std::unique_ptr<SpoolStore> store_;
};

// Opens the spool that the environment asks for into `spool` (left empty without
// MOTELOG_SPOOL). Returns 0, or the exit status after a failure it has reported on
// standard error.
int openspool(std::unique_ptr<Spool>& spool);
