#include "packetloop.h"

#include <iostream>

#include "linekeeper.h"
#include "linestop.h"
#include "readpacket.h"
#include "traceoutput.h"

int runloop(PacketSink& sink) {
    // Each line below goes out in one call, so a stop that flushes between two calls never
    // cuts it.
    for (;;) {
        const PacketRead read = readpacket();
        // Everything read is journaled; the stop flushes the trace.
        if (read.stopped) readerfinished();
        if (read.linefailure != 0) {
            flushtrace();
            waitforport(read.linefailure);
            continue;
        }
        const std::unique_ptr<MotePacket>& packet = read.packet;
        if (!packet) {
            std::cout << "Packet not recognized.\n";
        } else if (packet->len == 0) {
            std::cout << "Packet size incorrect.\n";
        } else if (packet->packettype == QueryPacketType) {
            std::cout << "Query packet received and ignored.\n";
        } else if (!sink.take(*packet)) {
            return -1;
        }
        flushtrace();
    }
}
