#include "line_bytes.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

Bytes linepacket(std::uint8_t packettype, std::uint8_t group, std::uint8_t len, Bytes payload,
                 Bytes trailer) {
    payload.resize(29, 0x00);
    // Sized once and filled in place: inserting a range after a 5-byte initializer list
    // makes g++ 12 at -O3 warn about bounds that are never crossed.
    Bytes line(5 + payload.size() + trailer.size());
    const std::uint8_t header[] = {0x00, 0x7E, packettype, group, len};
    auto end = std::copy(std::begin(header), std::end(header), line.begin());
    end = std::copy(payload.begin(), payload.end(), end);
    std::copy(trailer.begin(), trailer.end(), end);
    return line;
}

Bytes datapacket(std::uint8_t packettype, std::uint8_t len, std::uint16_t moteid,
                 const std::vector<RawReading>& readings, Bytes trailer) {
    Bytes payload = {static_cast<std::uint8_t>(moteid >> 8), static_cast<std::uint8_t>(moteid)};
    for (const RawReading& reading : readings) {
        payload.push_back(static_cast<std::uint8_t>(reading.first >> 8));
        payload.push_back(static_cast<std::uint8_t>(reading.first));
        payload.push_back(static_cast<std::uint8_t>(reading.second >> 8));
        payload.push_back(static_cast<std::uint8_t>(reading.second));
    }
    return linepacket(packettype, 0x7D, len, payload, trailer);
}

Bytes inmemory(Bytes line) {
    std::swap(line[0], line[1]);
    return line;
}

std::string readertrace(const Bytes& line) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Reading header (4 bytes)...\n"
                  "Received rest of header\n"
                  "Header:\n"
                  "  address    = 0x007e\n"
                  "  packettype = 0x%02x\n"
                  "  group\t\t = 0x%02x\n"
                  "  len        = %d\n"
                  "Receiveing data... (%d bytes used out of payload of 29)done.\n",
                  line[2], line[3], line[4], line[4]);
    std::string trace = text;
    for (std::uint8_t byte : inmemory(line)) {
        std::snprintf(text, sizeof text, "0x%02x, ", byte);
        trace += text;
    }
    return trace + "\n";
}

std::string notrecognized(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "Packet not recognized.\n";
    return lines;
}
