// The reader's side of the spool: each packet goes into the journal, with its arrival
// time, and the loop goes back to the line at once. Packets that do not fit (the cap, a
// full disk) are dropped and counted, with one line when dropping starts and one when it
// stops.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "journal.h"
#include "packetsink.h"

class SpoolSink : public PacketSink {
public:
    SpoolSink(Journal& journal, const std::string& dir, std::uint64_t capbytes, std::ostream& report)
        : journal_(journal), dir_(dir), cap_(capbytes), report_(report) {}

    // Appends under packetlock(), so a stop never cuts a record. Always true.
    bool take(const MotePacket& packet) override;

private:
    Journal& journal_;
    const std::string dir_;
    const std::uint64_t cap_;
    std::ostream& report_;
    std::uint64_t dropped_ = 0;
};
