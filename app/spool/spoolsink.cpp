#include "spoolsink.h"

#include <cstring>
#include <mutex>

#include "stopwatcher.h"
#include "wallclock.h"

bool SpoolSink::take(const MotePacket& packet) {
    const std::lock_guard<std::mutex> guard(packetlock());
    const AppendResult result = journal_.append(wallclockus(), packet);
    if (result.outcome == AppendResult::Stored) {
        if (dropped_ > 0)
            report_ << "motelog: spool " << dir_ << " takes packets again; " << dropped_
                    << " packets were dropped" << std::endl;
        dropped_ = 0;
        return true;
    }
    if (dropped_++ == 0) {
        report_ << "motelog: spool " << dir_ << " is full, dropping packets until there is room: ";
        if (result.outcome == AppendResult::AtCap)
            report_ << "the journal is at its cap of " << cap_ << " bytes (MOTELOG_SPOOL_MAX)";
        else
            report_ << "cannot write the journal: " << std::strerror(result.error);
        report_ << std::endl;
    }
    return true;
}
