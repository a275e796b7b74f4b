// The 36-byte frame that the base-station mote puts on the serial line, built byte by
// byte: address 0x007E high byte first, packet type, group, len, a 29-byte payload
// holding the big-endian mote id and up to six big-endian (type, value) readings, and a
// 2-byte trailer that carries the radio stack's CRC. The logger never checks the CRC,
// but a non-zero trailer matters: it breaks up the run of zero bytes before the next
// frame's start bytes 0x00, 0x7E, which a reader out of step would otherwise swallow.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace motesim {

constexpr std::size_t kFrameSize = 36;
constexpr std::size_t kPayloadSize = 29;
constexpr std::size_t kMaxReadings = 6;
constexpr std::uint8_t kStartByte0 = 0x00;
constexpr std::uint8_t kStartByte1 = 0x7E;
constexpr std::uint8_t kQueryPacketType = 0x70;  // 'p': the logger ignores these
constexpr std::uint8_t kDataPacketType = 0x11;
constexpr std::uint8_t kDefaultGroup = 0x7D;

// Sensor kinds the logger converts; every other type is stored raw.
enum SensorType : std::uint16_t { kLight = 1, kTemperature = 2, kHumidity = 3 };

struct SimReading {
    std::uint16_t type;
    std::uint16_t value;  // the raw sensor word
};

inline bool operator==(const SimReading& a, const SimReading& b) {
    return a.type == b.type && a.value == b.value;
}

using Frame = std::array<std::uint8_t, kFrameSize>;

// A frame carrying `readings` (at most kMaxReadings; extra ones are not encoded) for
// mote `moteId`, with len = 2 + 4 per reading. Unused payload bytes are 0; the trailer
// holds frameCrc.
Frame encodeDataFrame(std::uint16_t moteId, const std::vector<SimReading>& readings,
                      std::uint8_t packetType = kDataPacketType,
                      std::uint8_t group = kDefaultGroup);

// A frame with the given header and an all-zero payload, e.g. len 0 or a query.
Frame encodeHeaderOnlyFrame(std::uint8_t packetType, std::uint8_t len,
                            std::uint8_t group = kDefaultGroup);

// CRC-16 (polynomial 0x1021, initial value 0, no reflection) of bytes 0 to 33, which
// the frame carries low byte first in its trailer.
std::uint16_t frameCrc(const Frame& frame);

}  // namespace motesim
