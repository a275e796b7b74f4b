#include "motepacket.h"

#include <algorithm>
#include <cstring>

unsigned bigendian16(const std::uint8_t bytes[2]) {
    return static_cast<unsigned>(bytes[0]) * 256u + bytes[1];
}

int decodemoteid(const MotePacket& packet) { return static_cast<int>(bigendian16(packet.payload)); }

int readingcount(const MotePacket& packet) {
    // Signed arithmetic on purpose: len 1 gives 0, not a huge unsigned count.
    const int count = (static_cast<int>(packet.len) - 2) / 4;
    return std::clamp(count, 0, MaxReadings);
}

Reading readingat(const MotePacket& packet, int index) {
    Reading reading;
    std::memcpy(&reading, packet.payload + 2 + 4 * index, sizeof reading);
    return reading;
}

int decodedatatype(const Reading& reading) {
    return static_cast<int>(bigendian16(reading.data_type));
}

unsigned decodedatavalue(const Reading& reading) { return bigendian16(reading.data_value); }
