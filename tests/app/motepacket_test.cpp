#include "motepacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A packet whose bytes are exactly `bytes` (padded with zeros to 36).
MotePacket packetof(std::vector<std::uint8_t> bytes) {
    bytes.resize(PacketSize, 0);
    MotePacket packet;
    std::memcpy(&packet, bytes.data(), PacketSize);
    return packet;
}

MotePacket packetwithlen(std::uint8_t len) { return packetof({0x7E, 0x00, 0x01, 0x7D, len}); }

TEST(MotePacketLayout, FieldsSitAtTheirLineOffsets) {
    EXPECT_EQ(offsetof(MotePacket, packettype), 2u);
    EXPECT_EQ(offsetof(MotePacket, group), 3u);
    EXPECT_EQ(offsetof(MotePacket, len), 4u);
    EXPECT_EQ(offsetof(MotePacket, payload), 5u);
    EXPECT_EQ(offsetof(MotePacket, trailer), 34u);
    const MotePacket packet = packetof({0x7E, 0x00, 0x01, 0x7D, 0x06});
    EXPECT_EQ(packet.address, PacketAddress);
    EXPECT_EQ(packet.packettype, 0x01);
    EXPECT_EQ(packet.group, 0x7D);
    EXPECT_EQ(packet.len, 6);
}

TEST(DecodeMoteId, IsBigEndianAndUnsigned) {
    EXPECT_EQ(decodemoteid(packetof({0x7E, 0, 1, 0, 6, 0x12, 0x34})), 0x1234);
    EXPECT_EQ(decodemoteid(packetof({0x7E, 0, 1, 0, 6, 0x80, 0x01})), 32769);
    EXPECT_EQ(decodemoteid(packetof({0x7E, 0, 1, 0, 6, 0xFF, 0xFF})), 65535);
}

TEST(ReadingCount, TruncatesTowardZero) {
    EXPECT_EQ(readingcount(packetwithlen(1)), 0);
    for (std::uint8_t len = 2; len <= 5; ++len) EXPECT_EQ(readingcount(packetwithlen(len)), 0);
    EXPECT_EQ(readingcount(packetwithlen(6)), 1);
    EXPECT_EQ(readingcount(packetwithlen(9)), 1);
    EXPECT_EQ(readingcount(packetwithlen(10)), 2);
    EXPECT_EQ(readingcount(packetwithlen(29)), 6);
}

TEST(ReadingCount, NeverCountsMoreReadingsThanFitInThePayload) {
    for (int len : {30, 33, 34, 220, 255})
        EXPECT_EQ(readingcount(packetwithlen(static_cast<std::uint8_t>(len))), MaxReadings)
            << "len " << len;
}

TEST(ReadingAt, DecodesUnalignedBigEndianPairsInPayloadOrder) {
    // Reading i starts at packet offset 7 + 4 * i.
    std::vector<std::uint8_t> bytes = {0x7E, 0x00, 0x01, 0x7D, 29, 0x00, 0x07};
    for (std::uint8_t i = 0; i < 6; ++i) {
        const std::uint8_t more[] = {0x00, static_cast<std::uint8_t>(i + 1), 0xA0, i};
        bytes.insert(bytes.end(), more, more + 4);
    }
    bytes.push_back(0xEE);  // the 3 payload bytes no reading can use
    const MotePacket packet = packetof(bytes);
    for (int i = 0; i < 6; ++i) {
        const Reading reading = readingat(packet, i);
        EXPECT_EQ(decodedatatype(reading), i + 1);
        EXPECT_EQ(decodedatavalue(reading), 0xA000u + static_cast<unsigned>(i));
    }
}

TEST(ReadingAt, TypeAndValueAreUnsigned) {
    const MotePacket packet = packetof({0x7E, 0, 1, 0, 6, 0, 1, 0xFF, 0xFF, 0xFF, 0xFE});
    const Reading reading = readingat(packet, 0);
    EXPECT_EQ(decodedatatype(reading), 65535);
    EXPECT_EQ(decodedatavalue(reading), 65534u);
}

}  // namespace
