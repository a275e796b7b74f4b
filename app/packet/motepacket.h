// The 36-byte mote packet as it comes off the serial line, and the rules for decoding
// the mote id and the readings in its payload.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t PacketSize = 36;
constexpr std::size_t HeaderSize = 5;  // address 2, packettype 1, group 1, len 1
constexpr std::size_t PayloadSize = 29;
constexpr std::size_t TrailerSize = 2;
constexpr std::size_t BodySize = PayloadSize + TrailerSize;  // read in one call after the header

constexpr std::uint8_t StartByteHigh = 0x00;  // the address 0x007E, high byte first on the line
constexpr std::uint8_t StartByteLow = 0x7E;
constexpr std::uint16_t PacketAddress = 0x007E;
constexpr std::uint8_t QueryPacketType = 0x70;  // 'p': a query, carries no readings

// The readings that fit after the mote id: 2 + 6 * 4 = 26 of the 29 payload bytes.
constexpr int MaxReadings = 6;

// One received packet, byte for byte as on the line except the address, which is held
// in host byte order (so a little-endian host keeps the bytes 0x7E, 0x00).
struct MotePacket {
    std::uint16_t address;
    std::uint8_t packettype;
    std::uint8_t group;
    std::uint8_t len;  // payload bytes in use: 2 for the mote id plus 4 per reading
    std::uint8_t payload[PayloadSize];
    std::uint8_t trailer[TrailerSize];  // never interpreted
};
static_assert(sizeof(MotePacket) == PacketSize, "a packet is exactly 36 bytes");
static_assert(offsetof(MotePacket, payload) == HeaderSize, "the payload follows the header");

// One reading as it lies in the payload: two big-endian 16-bit words, unaligned.
struct Reading {
    std::uint8_t data_type[2];
    std::uint8_t data_value[2];
};
static_assert(sizeof(Reading) == 4, "a reading is 4 bytes");

// The unsigned 16-bit value of two bytes, high byte first.
unsigned bigendian16(const std::uint8_t bytes[2]);

// The reporting mote's id: payload bytes 0 and 1, big-endian (0 to 65535).
int decodemoteid(const MotePacket& packet);

// The number of readings the packet carries: (len - 2) / 4, truncated toward zero, and
// never more than the 6 that fit in the payload, so decoding stays inside the packet
// whatever len says.
int readingcount(const MotePacket& packet);

// Reading `index` (0 up to readingcount - 1), copied out of payload offset 2 + 4 * index.
Reading readingat(const MotePacket& packet, int index);

// The reading's type code and raw sensor word, both 0 to 65535.
int decodedatatype(const Reading& reading);
unsigned decodedatavalue(const Reading& reading);
