#include "packetloop.h"

#include <cstdio>
#include <iostream>
#include <mutex>

#include "readpacket.h"
#include "stopwatcher.h"
#include "storepacket.h"

int runloop(const DbSettings& settings) {
    for (;;) {
        const std::unique_ptr<MotePacket> packet = readpacket();
        if (!packet) {
            std::cout << "Packet not recognized." << '\n';
        } else if (packet->len == 0) {
            std::cout << "Packet size incorrect." << '\n';
        } else if (packet->packettype == QueryPacketType) {
            std::cout << "Query packet received and ignored." << '\n';
        } else {
            std::unique_lock<std::mutex> guard(packetlock());
            if (!storepacket(*packet, settings)) {
                guard.release();
                return -1;
            }
        }
        std::fflush(stdout);
    }
}
