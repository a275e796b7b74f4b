#include "readpacket.h"

#include <cstdio>
#include <new>

#include "serialport.h"

namespace {

// What a failed read leaves in the buffer; it matches neither start byte, and a holder
// that starts with it stays unmatched when the port is not open and nothing is written.
constexpr std::uint8_t Unread = 0xDC;

std::uint8_t readbyte() {
    std::uint8_t byte = Unread;
    serialport.Read(&byte, 1, nullptr, nullptr, INFINITE);
    return byte;
}

void traceheader(const MotePacket& packet) {
    std::printf("Header:\n");
    std::printf("  address    = 0x%04x\n", static_cast<unsigned>(packet.address));
    std::printf("  packettype = 0x%02x\n", static_cast<unsigned>(packet.packettype));
    std::printf("  group\t\t = 0x%02x\n", static_cast<unsigned>(packet.group));
    std::printf("  len        = %d\n", static_cast<int>(packet.len));
}

// The dump goes out in one call, so that a line of another thread never lands inside it.
void tracebytes(const MotePacket& packet) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&packet);
    char line[PacketSize * 6 + 2];
    std::size_t used = 0;
    for (std::size_t i = 0; i < PacketSize; ++i)
        used += static_cast<std::size_t>(std::snprintf(line + used, sizeof line - used, "0x%02x, ",
                                                       static_cast<unsigned>(bytes[i])));
    std::snprintf(line + used, sizeof line - used, "\n");
    std::fputs(line, stdout);
}

}  // namespace

std::unique_ptr<MotePacket> readpacket() {
    if (readbyte() != StartByteHigh) return nullptr;
    if (readbyte() != StartByteLow) return nullptr;

    // The packet is assembled here and copied to the heap only when complete, so a failed
    // allocation never costs the line its step.
    MotePacket packet{};
    packet.address = PacketAddress;
    std::printf("Reading header (%d bytes)...\n", 4);
    packet.packettype = readbyte();
    packet.group = readbyte();
    packet.len = readbyte();
    std::printf("Received rest of header\n");
    traceheader(packet);

    auto* bytes = reinterpret_cast<std::uint8_t*>(&packet);
    serialport.Read(bytes + HeaderSize, BodySize, nullptr, nullptr, INFINITE);
    // Written with "done." once the body is in, so no other thread's line lands inside it.
    std::printf("Receiveing data... (%d bytes used out of payload of 29)done.\n",
                static_cast<int>(packet.len));
    tracebytes(packet);

    return std::unique_ptr<MotePacket>(new (std::nothrow) MotePacket(packet));
}
