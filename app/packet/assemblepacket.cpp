#include "assemblepacket.h"

#include <cstdio>
#include <iostream>

namespace {

constexpr std::uint8_t CommandMarker = 0x7D;

void storelowfirst(CommandPacket& packet, std::size_t offset, unsigned long value) {
    packet[offset] = static_cast<std::uint8_t>(value & 0xFFu);
    packet[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
}

}  // namespace

std::unique_ptr<CommandPacket> assemblepacket(std::uint8_t packettype, std::uint16_t address,
                                              std::uint16_t moteid, std::uint8_t* packetlength,
                                              const std::vector<ArgumentPair>& pairs) {
    const std::size_t paircount = pairs.size();
    std::printf("assemblepacket(packettype = %u, address = %u, moteid = %u, , args = %u)\n",
                static_cast<unsigned>(packettype), static_cast<unsigned>(address),
                static_cast<unsigned>(moteid), static_cast<unsigned>(paircount));
    if (paircount > MaxArgumentPairs) {
        *packetlength = 0;
        std::fflush(stdout);
        std::cerr << "assemblepacket: " << paircount << " argument pairs do not fit in a "
                  << PacketSize << "-byte packet (at most " << MaxArgumentPairs << ")\n";
        return nullptr;
    }

    *packetlength = PacketSize;
    auto packet = std::make_unique<CommandPacket>();
    packet->fill(0);
    std::printf("ASSEMBLEPACKET INSIDE \n");

    CommandPacket& bytes = *packet;
    bytes[0] = static_cast<std::uint8_t>(address >> 8);
    bytes[1] = static_cast<std::uint8_t>(address & 0xFFu);
    bytes[2] = CommandMarker;
    bytes[3] = packettype;
    bytes[4] = static_cast<std::uint8_t>((paircount * 4) & 0xFFu);
    for (std::size_t i = 0; i < HeaderSize; ++i)
        std::printf("packet[%u] = 0x%02x \n", static_cast<unsigned>(i),
                    static_cast<unsigned>(bytes[i]));
    std::printf("\n");

    if (paircount > 0) {
        storelowfirst(bytes, 5, moteid);
        for (std::size_t i = 0; i < paircount; ++i) {
            storelowfirst(bytes, 7 + 4 * i, static_cast<unsigned long>(pairs[i].first));
            storelowfirst(bytes, 9 + 4 * i, static_cast<unsigned long>(pairs[i].second));
        }
    }

    std::cout << "Packet Length: " << PacketSize << '\n';
    std::printf("length = 0x%02x, ", static_cast<unsigned>(*packetlength));
    std::printf("\n");
    for (std::size_t i = 0; i < *packetlength; ++i)
        std::printf("0x%02x, ", static_cast<unsigned>(bytes[i]));
    std::printf("\n");
    std::printf("assemblepacket finished\n");
    return packet;
}
