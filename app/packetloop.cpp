#include "packetloop.h"

#include <cstdio>
#include <iostream>

#include "readpacket.h"

int runloop(PacketSink& sink) {
    // Each line below goes out in one call, so a stop that flushes between two calls never
    // cuts it.
    for (;;) {
        const std::unique_ptr<MotePacket> packet = readpacket();
        if (!packet) {
            std::cout << "Packet not recognized.\n";
        } else if (packet->len == 0) {
            std::cout << "Packet size incorrect.\n";
        } else if (packet->packettype == QueryPacketType) {
            std::cout << "Query packet received and ignored.\n";
        } else if (!sink.take(*packet)) {
            return -1;
        }
        std::fflush(stdout);
    }
}
