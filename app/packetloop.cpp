#include "packetloop.h"

#include "linekeeper.h"
#include "linestop.h"
#include "readpacket.h"
#include "stagebeat.h"
#include "stationstatus.h"
#include "tracechannel.h"

int runloop(PacketSink& sink) {
    for (;;) {
        loopstage().waiting();  // a quiet line may keep the read waiting for ever
        const PacketRead read = readpacket();
        // Everything read is journaled; the stop writes out the trace.
        if (read.stopped) readerfinished();
        loopstage().busy();
        if (read.linefailure != 0) {
            waitforport(read.linefailure);
            continue;
        }
        const std::unique_ptr<MotePacket>& packet = read.packet;
        station().packetread(packet.get());
        if (!packet) {
            trace("Packet not recognized.\n");
        } else if (packet->len == 0) {
            trace("Packet size incorrect.\n");
        } else if (packet->packettype == QueryPacketType) {
            trace("Query packet received and ignored.\n");
        } else if (!sink.take(*packet)) {
            return -1;
        }
    }
}
