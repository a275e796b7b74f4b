// Where the loop hands each packet that carries readings: the database directly, or the
// spool.
#pragma once

#include "motepacket.h"

class PacketSink {
public:
    virtual ~PacketSink() = default;
    // Takes one packet on the insert path. Returns false after a failure that ends the
    // program (reported by the sink).
    virtual bool take(const MotePacket& packet) = 0;
};
