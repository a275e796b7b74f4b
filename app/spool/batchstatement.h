// The statements of one batch of journaled packets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "journalrecord.h"

// One insert of every reading of `entries`, with the columns of the direct store's
// statement. Each row's timestamp is the server's now() less the microseconds the packet
// has waited from its arrival until `now` (see waitedus), so a stored backlog keeps its
// arrival times on the server's clock. "" when the packets carry no readings.
std::string batchinsert(const std::vector<JournalEntry>& entries, const ArrivalTime& now);

// The name that motelog's XA version gave a batch's transaction, for settling one it left
// open.
std::string batchxid(std::uint64_t spoolid, std::uint64_t generation);
