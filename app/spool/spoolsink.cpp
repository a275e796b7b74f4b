#include "spoolsink.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <sstream>

#include "stationstatus.h"
#include "stopwatcher.h"
#include "arrivalclock.h"

bool SpoolSink::take(const MotePacket& packet) {
    const std::lock_guard<std::mutex> guard(packetlock());
    const AppendResult result = journal_.append(arrivalnow(), packet);
    if (result.outcome == AppendResult::Stored) {
        if (dropped_ > 0) {
            std::ostringstream line;
            line << "motelog: spool " << dir_ << " takes packets again; " << dropped_
                 << " packets were dropped\n";
            report_ << line.str() << std::flush;
        }
        dropped_ = 0;
        return true;
    }
    station().spoolfull();
    if (dropped_++ == 0) {
        // One write per line: the store thread reports on the same stream.
        std::ostringstream line;
        line << "motelog: spool " << dir_;
        if (result.outcome == AppendResult::AtCap)
            line << " is full, dropping packets until there is room: the journal is at its cap of "
                 << cap_ << " bytes (MOTELOG_SPOOL_MAX)";
        else if (result.error == ENOSPC || result.error == EDQUOT)
            line << " is full, dropping packets until there is room: cannot write the journal: "
                 << std::strerror(result.error);
        else  // a failing disk, not a full one
            line << " cannot write the journal (" << std::strerror(result.error)
                 << "), dropping packets until it can";
        report_ << line.str() << '\n' << std::flush;
    }
    return true;
}
