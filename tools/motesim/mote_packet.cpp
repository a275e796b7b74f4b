#include "mote_packet.h"

#include <algorithm>

namespace motesim {

namespace {

constexpr std::size_t kPayloadOffset = 5;
constexpr std::size_t kTrailerOffset = kFrameSize - 2;

void putBigEndian(Frame& frame, std::size_t offset, std::uint16_t word) {
    frame[offset] = static_cast<std::uint8_t>(word >> 8);
    frame[offset + 1] = static_cast<std::uint8_t>(word & 0xFF);
}

Frame headerFrame(std::uint8_t packetType, std::uint8_t len, std::uint8_t group) {
    Frame frame{};
    frame[0] = kStartByte0;
    frame[1] = kStartByte1;
    frame[2] = packetType;
    frame[3] = group;
    frame[4] = len;
    return frame;
}

void sealWithCrc(Frame& frame) {
    const std::uint16_t crc = frameCrc(frame);
    frame[kTrailerOffset] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[kTrailerOffset + 1] = static_cast<std::uint8_t>(crc >> 8);
}

}  // namespace

std::uint16_t frameCrc(const Frame& frame) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < kTrailerOffset; ++i) {
        crc ^= static_cast<std::uint16_t>(frame[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

Frame encodeHeaderOnlyFrame(std::uint8_t packetType, std::uint8_t len, std::uint8_t group) {
    Frame frame = headerFrame(packetType, len, group);
    sealWithCrc(frame);
    return frame;
}

Frame encodeDataFrame(std::uint16_t moteId, const std::vector<SimReading>& readings,
                      std::uint8_t packetType, std::uint8_t group) {
    const std::size_t count = std::min(readings.size(), kMaxReadings);
    Frame frame = headerFrame(packetType, static_cast<std::uint8_t>(2 + 4 * count), group);
    putBigEndian(frame, kPayloadOffset, moteId);
    for (std::size_t i = 0; i < count; ++i) {
        putBigEndian(frame, kPayloadOffset + 2 + 4 * i, readings[i].type);
        putBigEndian(frame, kPayloadOffset + 4 + 4 * i, readings[i].value);
    }
    sealWithCrc(frame);
    return frame;
}

}  // namespace motesim
