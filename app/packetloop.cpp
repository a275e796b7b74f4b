#include "packetloop.h"

#include "linekeeper.h"
#include "readpacket.h"
#include "tracechannel.h"

int runloop(PacketSink& sink) {
    for (;;) {
        const PacketRead read = readpacket();
        if (read.linefailure != 0) {
            waitforport(read.linefailure);
            continue;
        }
        const std::unique_ptr<MotePacket>& packet = read.packet;
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
