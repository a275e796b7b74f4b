#include "assemblepacket.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Assembled {
    std::unique_ptr<CommandPacket> packet;
    std::uint8_t length = 0xEE;
    std::string out;
    std::string err;
};

Assembled assemble(std::uint8_t packettype, std::uint16_t address, std::uint16_t moteid,
                   const std::vector<ArgumentPair>& pairs) {
    Assembled result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.packet = assemblepacket(packettype, address, moteid, &result.length, pairs);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

CommandPacket bytesof(std::initializer_list<std::uint8_t> head) {
    CommandPacket bytes{};
    std::copy(head.begin(), head.end(), bytes.begin());
    return bytes;
}

TEST(AssemblePacket, OnePairPacketAndItsTrace) {
    const Assembled a = assemble(5, 0x1234, 0x0102, {{3, 0x0A0B}});
    ASSERT_NE(a.packet, nullptr);
    EXPECT_EQ(a.length, 36);
    EXPECT_EQ(*a.packet,
              bytesof({0x12, 0x34, 0x7D, 0x05, 0x04, 0x02, 0x01, 0x03, 0x00, 0x0B, 0x0A}));
    EXPECT_EQ(a.out,
              "assemblepacket(packettype = 5, address = 4660, moteid = 258, , args = 1)\n"
              "ASSEMBLEPACKET INSIDE \n"
              "packet[0] = 0x12 \n"
              "packet[1] = 0x34 \n"
              "packet[2] = 0x7d \n"
              "packet[3] = 0x05 \n"
              "packet[4] = 0x04 \n"
              "\n"
              "Packet Length: 36\n"
              "length = 0x24, \n"
              "0x12, 0x34, 0x7d, 0x05, 0x04, 0x02, 0x01, 0x03, 0x00, 0x0b, 0x0a, "
              "0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, "
              "0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, "
              "0x00, \n"
              "assemblepacket finished\n");
    EXPECT_EQ(a.err, "");
}

TEST(AssemblePacket, WithoutPairsTheMoteIdIsNotStored) {
    const Assembled a = assemble(9, 0xFFFF, 0x0102, {});
    ASSERT_NE(a.packet, nullptr);
    EXPECT_EQ(*a.packet, bytesof({0xFF, 0xFF, 0x7D, 0x09, 0x00}));
    EXPECT_EQ(a.length, 36);
    // The dump still shows all 36 bytes.
    std::string dump = "0xff, 0xff, 0x7d, 0x09, ";
    for (int i = 4; i < 36; ++i) dump += "0x00, ";
    EXPECT_NE(a.out.find("length = 0x24, \n" + dump + "\nassemblepacket finished\n"),
              std::string::npos)
        << a.out;
}

TEST(AssemblePacket, KeepsOnlyTheLowSixteenBitsOfEachValue) {
    const Assembled a = assemble(1, 2, 3, {{0x12345, -1}});
    ASSERT_NE(a.packet, nullptr);
    EXPECT_EQ(*a.packet,
              bytesof({0x00, 0x02, 0x7D, 0x01, 0x04, 0x03, 0x00, 0x45, 0x23, 0xFF, 0xFF}));
}

TEST(AssemblePacket, SevenPairsFillTheTrailerButNotTheLastByte) {
    std::vector<ArgumentPair> pairs;
    for (long i = 0; i < 7; ++i) pairs.push_back({0x0100 + i, 0x0200 + i});
    const Assembled a = assemble(1, 0x0001, 0x0304, pairs);
    ASSERT_NE(a.packet, nullptr);
    const CommandPacket& bytes = *a.packet;
    EXPECT_EQ(bytes[4], 28);
    EXPECT_EQ(bytes[5], 0x04);
    EXPECT_EQ(bytes[6], 0x03);
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(bytes[7 + 4 * i], i) << "pair " << i;
        EXPECT_EQ(bytes[8 + 4 * i], 0x01) << "pair " << i;
        EXPECT_EQ(bytes[9 + 4 * i], i) << "pair " << i;
        EXPECT_EQ(bytes[10 + 4 * i], 0x02) << "pair " << i;
    }
    EXPECT_EQ(bytes[35], 0x00);
}

TEST(AssemblePacket, RefusesMorePairsThanFit) {
    const std::vector<ArgumentPair> pairs(8, ArgumentPair{0x1111, 0x2222});
    const Assembled a = assemble(1, 2, 3, pairs);
    EXPECT_EQ(a.packet, nullptr);
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(a.out, "assemblepacket(packettype = 1, address = 2, moteid = 3, , args = 8)\n");
    EXPECT_EQ(a.err,
              "assemblepacket: 8 argument pairs do not fit in a 36-byte packet (at most 7)\n");
}

}  // namespace
