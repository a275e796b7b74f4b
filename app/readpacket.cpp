#include "readpacket.h"

#include <cstdio>
#include <initializer_list>
#include <new>

#include "serialport.h"

namespace {

// A rejected second start byte that is 0x00 may itself begin the next start pair.
bool keptstartbyte = false;

// Reads exactly `count` bytes; returns 0, or the code of the port's failure.
std::int32_t readexactly(void* into, DWORD count) {
    DWORD got = 0;
    const LONG result = serialport.Read(into, count, &got, nullptr, INFINITE);
    if (result != 0) return result;
    // A blocking read without a time limit ends short only when the device went away in
    // the middle of it; the port hands over what came before that.
    return got == count ? 0 : ERROR_DEVICE_NOT_CONNECTED;
}

void traceheader(const MotePacket& packet) {
    std::printf("Header:\n");
    std::printf("  address    = 0x%04x\n", static_cast<unsigned>(packet.address));
    std::printf("  packettype = 0x%02x\n", static_cast<unsigned>(packet.packettype));
    std::printf("  group\t\t = 0x%02x\n", static_cast<unsigned>(packet.group));
    std::printf("  len        = %d\n", static_cast<int>(packet.len));
    std::printf("Receiveing data... (%d bytes used out of payload of 29)",
                static_cast<int>(packet.len));
}

void tracebytes(const MotePacket& packet) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&packet);
    for (std::size_t i = 0; i < PacketSize; ++i)
        std::printf("0x%02x, ", static_cast<unsigned>(bytes[i]));
    std::printf("\n");
}

PacketRead cutoff(std::int32_t failure) {
    std::printf("cut off.\n");
    return PacketRead{nullptr, failure};
}

}  // namespace

PacketRead readpacket() {
    std::uint8_t first = StartByteHigh;
    if (!keptstartbyte) {
        if (const std::int32_t failure = readexactly(&first, 1)) return PacketRead{nullptr, failure};
    }
    keptstartbyte = false;
    if (first != StartByteHigh) return PacketRead{};
    std::uint8_t second = 0;
    if (const std::int32_t failure = readexactly(&second, 1)) return PacketRead{nullptr, failure};
    if (second != StartByteLow) {
        keptstartbyte = second == StartByteHigh;
        return PacketRead{};
    }

    // The packet is assembled here and copied to the heap only when complete, so a failed
    // allocation never costs the line its step.
    MotePacket packet{};
    packet.address = PacketAddress;
    std::printf("Reading header (%d bytes)...\n", 4);
    for (std::uint8_t* field : {&packet.packettype, &packet.group, &packet.len}) {
        if (const std::int32_t failure = readexactly(field, 1)) return cutoff(failure);
    }
    std::printf("Received rest of header\n");
    traceheader(packet);

    auto* bytes = reinterpret_cast<std::uint8_t*>(&packet);
    if (const std::int32_t failure = readexactly(bytes + HeaderSize, BodySize))
        return cutoff(failure);
    std::printf("done.\n");
    tracebytes(packet);

    return PacketRead{std::unique_ptr<MotePacket>(new (std::nothrow) MotePacket(packet)), 0};
}
