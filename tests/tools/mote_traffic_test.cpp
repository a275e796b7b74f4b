// The simulator's traffic, decoded by the logger's own packet decoding.
#include "mote_traffic.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "decoded_frame.h"

namespace {

using motesim::Chunk;
using motesim::ChunkKind;
using motesim::MoteTraffic;
using motesim::TrafficConfig;

std::vector<Chunk> generate(const TrafficConfig& config, int count) {
    MoteTraffic traffic(config);
    std::vector<Chunk> chunks;
    for (int i = 0; i < count; ++i) chunks.push_back(traffic.next());
    return chunks;
}

TEST(MoteTraffic, IsDeterminedBySeed) {
    TrafficConfig config;
    config.corruptShare = 0.3;
    config.seed = 42;
    const auto first = generate(config, 300);
    const auto again = generate(config, 300);
    config.seed = 43;
    const auto other = generate(config, 300);
    std::vector<std::uint8_t> a, b, c;
    for (const auto& chunk : first) a.insert(a.end(), chunk.bytes.begin(), chunk.bytes.end());
    for (const auto& chunk : again) b.insert(b.end(), chunk.bytes.begin(), chunk.bytes.end());
    for (const auto& chunk : other) c.insert(c.end(), chunk.bytes.begin(), chunk.bytes.end());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(MoteTraffic, DataFramesDecodeToPlausibleReadingsOfEveryMote) {
    TrafficConfig config;
    config.motes = 5;
    const auto chunks = generate(config, 1000);
    std::map<int, int> framesPerMote;
    std::map<int, int> readingsPerType;
    int previousMote = 0;
    for (const Chunk& chunk : chunks) {
        ASSERT_EQ(chunk.kind, ChunkKind::Data);
        ASSERT_EQ(chunk.bytes.size(), 36u);
        const MotePacket packet = toMotePacket(chunk.bytes);
        EXPECT_EQ(packet.address, PacketAddress);
        EXPECT_NE(packet.packettype, QueryPacketType);
        EXPECT_EQ(packet.len, 26);
        const DecodedFrame frame = decodeFrame(packet);
        EXPECT_EQ(frame.moteid, chunk.moteId);
        EXPECT_EQ(frame.moteid, previousMote % 5 + 1) << "motes take turns";
        previousMote = frame.moteid;
        EXPECT_EQ(frame.readings, chunk.readings);
        ++framesPerMote[frame.moteid];
        for (const auto& reading : frame.readings) {
            ++readingsPerType[reading.type <= 3 ? reading.type : -1];
            EXPECT_EQ(implausibility(reading), "");
        }
    }
    EXPECT_EQ(framesPerMote.size(), 5u);
    const int readings = 6 * 1000;
    for (int type : {1, 2, 3}) EXPECT_GT(readingsPerType[type], readings / 4) << "type " << type;
    // About one reading in ten has a type the logger stores raw.
    EXPECT_GT(readingsPerType[-1], readings * 6 / 100);
    EXPECT_LT(readingsPerType[-1], readings * 14 / 100);
}

TEST(MoteTraffic, FewerReadingsMakeShorterLen) {
    TrafficConfig config;
    config.readingsPerFrame = 2;
    for (const Chunk& chunk : generate(config, 20)) {
        const MotePacket packet = toMotePacket(chunk.bytes);
        EXPECT_EQ(packet.len, 10);
        EXPECT_EQ(readingcount(packet), 2);
        EXPECT_EQ(decodeFrame(packet).readings, chunk.readings);
    }
}

TEST(MoteTraffic, CorruptShareAndKindsAreAsAsked) {
    TrafficConfig config;
    config.corruptShare = 0.25;
    config.seed = 7;
    const int total = 8000;
    std::map<ChunkKind, int> kinds;
    for (const Chunk& chunk : generate(config, total)) {
        ++kinds[chunk.kind];
        switch (chunk.kind) {
        case ChunkKind::Data:
            break;
        case ChunkKind::StrayBytes:
            EXPECT_GE(chunk.bytes.size(), 1u);
            EXPECT_LE(chunk.bytes.size(), 4u);
            for (auto byte : chunk.bytes) EXPECT_NE(byte, 0x00) << "a stray 0x00 would eat a start byte";
            break;
        case ChunkKind::SwappedStart: {
            ASSERT_EQ(chunk.bytes.size(), 36u);
            EXPECT_EQ(chunk.bytes[0], 0x7E);
            EXPECT_EQ(chunk.bytes[1], 0x00);
            auto repaired = chunk.bytes;
            std::swap(repaired[0], repaired[1]);
            EXPECT_EQ(decodeFrame(toMotePacket(repaired)).readings, chunk.readings);
            break;
        }
        case ChunkKind::ZeroLength:
            ASSERT_EQ(chunk.bytes.size(), 36u);
            EXPECT_EQ(toMotePacket(chunk.bytes).len, 0);
            break;
        case ChunkKind::Query: {
            ASSERT_EQ(chunk.bytes.size(), 36u);
            const MotePacket packet = toMotePacket(chunk.bytes);
            EXPECT_EQ(packet.packettype, QueryPacketType);
            EXPECT_NE(packet.len, 0);
            EXPECT_EQ(readingcount(packet), 0);
            break;
        }
        }
    }
    const int corrupt = total - kinds[ChunkKind::Data];
    EXPECT_NEAR(corrupt, total / 4, total / 50);
    for (ChunkKind kind : {ChunkKind::StrayBytes, ChunkKind::SwappedStart, ChunkKind::ZeroLength,
                           ChunkKind::Query})
        EXPECT_GT(kinds[kind], corrupt / 5) << "kind " << static_cast<int>(kind);
}

TEST(MoteTraffic, ShareOneSendsNothingButCorruption) {
    TrafficConfig config;
    config.corruptShare = 1.0;
    for (const Chunk& chunk : generate(config, 200)) EXPECT_NE(chunk.kind, ChunkKind::Data);
}

TEST(MoteTraffic, RefusesConfigsOutOfRange) {
    TrafficConfig config;
    config.motes = 0;
    EXPECT_THROW(MoteTraffic{config}, std::invalid_argument);
    config = {};
    config.readingsPerFrame = 7;
    EXPECT_THROW(MoteTraffic{config}, std::invalid_argument);
    config = {};
    config.corruptShare = 1.5;
    EXPECT_THROW(MoteTraffic{config}, std::invalid_argument);
}

TEST(FrameCrc, MatchesTheReferenceCrc16AndSitsLowByteFirst) {
    // Reference values from an independent CRC-16/XMODEM implementation.
    const motesim::Frame zeroLength = motesim::encodeHeaderOnlyFrame(0x11, 0, 0x7D);
    EXPECT_EQ(motesim::frameCrc(zeroLength), 0xB4FF);
    EXPECT_EQ(zeroLength[34], 0xFF);
    EXPECT_EQ(zeroLength[35], 0xB4);
    const motesim::Frame query = motesim::encodeDataFrame(3, {}, 0x70, 0x7D);
    EXPECT_EQ(motesim::frameCrc(query), 0x28E7);
}

}  // namespace
