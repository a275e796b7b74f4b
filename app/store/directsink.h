// The direct mode: each packet's readings go to the database at once, over a connection
// of their own; a database failure ends the program.
#pragma once

#include "dbsettings.h"
#include "packetsink.h"

class DirectSink : public PacketSink {
public:
    explicit DirectSink(const DbSettings& settings) : settings_(settings) {}
    // Stores the packet with its trace, holding packetlock() meanwhile; after a failure it
    // returns false with packetlock() left held, so that a stop arriving meanwhile cannot
    // turn the failure into a clean exit.
    bool take(const MotePacket& packet) override;

private:
    const DbSettings settings_;
};
