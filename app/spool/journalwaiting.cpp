#include <system_error>

#include "journal.h"

JournalWaiting Journal::waiting(std::uint64_t from) {
    JournalWaiting waiting;
    const std::uint64_t last = end();
    if (last <= from) return waiting;
    waiting.records = last - from;
    try {
        const JournalRead first = read(from, 1);
        const ArrivalTime now = arrivalnow();
        // Its age on the boot clock where it can, as the store measures waits.
        if (!first.entries.empty())
            waiting.oldestus = now.wallus - waitedus(first.entries.front().arrival, now);
    } catch (const std::system_error&) {
        // The age stays unknown; the store meets the same segment and reports it.
    }
    return waiting;
}
