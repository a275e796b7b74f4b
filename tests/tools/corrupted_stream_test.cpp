// A robustness run in small: the simulator's corrupted input through the logger's
// packet reader on a real pseudo-terminal. The reader must step over the damage, find
// its step again and lose at most the frame after each damaged start. Frames have no
// escaping, so a reader out of step could take a 0x00, 0x7E inside a frame for a start;
// this seeded stream offers it none, so every frame it accepts must be one sent intact.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "decoded_frame.h"
#include "pty_pair.h"
#include "readpacket.h"
#include "serialport.h"

namespace {

using namespace std::chrono_literals;
using motesim::Chunk;
using motesim::ChunkKind;

constexpr std::uint16_t kSentinelMote = 0xBEEF;

struct Tally {
    int data = 0, zeroLength = 0, query = 0, stray = 0, swapped = 0;
};

TEST(CorruptedStream, ReaderAcceptsOnlyIntactFramesInOrderAndResynchronises) {
    motesim::TrafficConfig config;
    config.corruptShare = 0.2;
    config.seed = 3;
    motesim::MoteTraffic traffic(config);
    std::vector<std::uint8_t> bytes;
    std::vector<Chunk> intactData;
    Tally sent;
    for (int i = 0; i < 400; ++i) {
        Chunk chunk = traffic.next();
        bytes.insert(bytes.end(), chunk.bytes.begin(), chunk.bytes.end());
        switch (chunk.kind) {
        case ChunkKind::Data: ++sent.data; intactData.push_back(chunk); break;
        case ChunkKind::ZeroLength: ++sent.zeroLength; break;
        case ChunkKind::Query: ++sent.query; break;
        case ChunkKind::StrayBytes: sent.stray += static_cast<int>(chunk.bytes.size()); break;
        case ChunkKind::SwappedStart: ++sent.swapped; break;
        }
    }
    // Closing frames that tell the reader's loop where the run ends.
    for (int i = 0; i < 3; ++i) {
        const auto sentinel = motesim::encodeDataFrame(kSentinelMote, {});
        bytes.insert(bytes.end(), sentinel.begin(), sentinel.end());
    }

    PtyPair line;
    ASSERT_EQ(serialport.Open(line.slavePath().c_str()), 0);
    ASSERT_EQ(serialport.SetupReadTimeouts(CSerial::ReadBlocking), 0);

    Tally got;
    int nulls = 0;
    std::size_t nextIntact = 0;
    bool sawSentinel = false;
    std::string foreignFrame;
    {
        std::thread writer([&] { line.send(bytes); });
        // Should the reader never see a closing frame, end its blocking reads by hanging
        // up once everything is written.
        std::atomic<bool> done{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 100 && !done; ++i) std::this_thread::sleep_for(50ms);
            writer.join();
            if (!done) line.closeMaster();
        });
        testing::internal::CaptureStdout();  // the reader traces every packet
        while (!sawSentinel) {
            const PacketRead read = readpacket();
            if (read.linefailure != 0) break;  // the watchdog hung up
            const auto& packet = read.packet;
            if (!packet) {
                ++nulls;
            } else if (packet->len == 0) {
                ++got.zeroLength;
            } else if (packet->packettype == QueryPacketType) {
                ++got.query;
            } else {
                const DecodedFrame frame = decodeFrame(*packet);
                sawSentinel = frame.moteid == kSentinelMote;
                if (sawSentinel) break;
                // Skip the intact frames the damage cost; the one read must be among them.
                while (nextIntact < intactData.size() &&
                       !(intactData[nextIntact].moteId == frame.moteid &&
                         intactData[nextIntact].readings == frame.readings))
                    ++nextIntact;
                if (nextIntact == intactData.size() && foreignFrame.empty())
                    foreignFrame = "mote " + std::to_string(frame.moteid);
                ++nextIntact;
                ++got.data;
            }
        }
        testing::internal::GetCapturedStdout();
        done = true;
        watchdog.join();
    }
    serialport.Close();

    EXPECT_EQ(foreignFrame, "") << "accepted a frame that was not sent intact";
    ASSERT_TRUE(sawSentinel) << "the reader never found its step again";
    ASSERT_GT(sent.swapped, 5);
    ASSERT_GT(sent.stray, 5);
    // Each damaged start can cost at most the frame after it.
    EXPECT_LE(got.data, sent.data);
    EXPECT_GE(got.data, sent.data - sent.swapped);
    EXPECT_LE(got.zeroLength, sent.zeroLength);
    EXPECT_GE(got.zeroLength, sent.zeroLength - sent.swapped);
    EXPECT_LE(got.query, sent.query);
    EXPECT_GE(got.query, sent.query - sent.swapped);
    EXPECT_GE(nulls, sent.stray + sent.swapped);
}

}  // namespace
