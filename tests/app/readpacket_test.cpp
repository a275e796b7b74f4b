// The packet reader on a pseudo-terminal standing in for the serial line.
#include "readpacket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "line_bytes.h"
#include "line_observer.h"
#include "pty_pair.h"
#include "serialport.h"

namespace {

// The packet's bytes as they lie in memory.
Bytes bytesof(const MotePacket& packet) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&packet);
    return Bytes(bytes, bytes + PacketSize);
}

class ReadPacketTest : public ::testing::Test {
protected:
    void SetUp() override {
        observer_ = std::make_unique<LineObserver>(pty_.slavePath());
        setenv("COM1", pty_.slavePath().c_str(), 1);
        testing::internal::CaptureStderr();
        configureserialport();
        ASSERT_EQ(testing::internal::GetCapturedStderr(), "") << "start-up on " << pty_.slavePath();
    }
    void TearDown() override { serialport.Close(); }

    // Calls readpacket with standard output captured.
    PacketRead read(std::string& trace) {
        testing::internal::CaptureStdout();
        PacketRead result = readpacket();
        trace = testing::internal::GetCapturedStdout();
        return result;
    }

    // Puts `bytes` on the line and hangs it up once the port has taken them. A pty drops
    // what its slave has not read when the master goes, so the bytes are made to wait in
    // the slave's queue with the port closed, and the master goes only when the reopened
    // port has emptied that queue.
    void sendthenhangup(const Bytes& bytes) {
        serialport.Close();
        pty_.send(bytes);
        ASSERT_TRUE(
            observer_->waitqueued(static_cast<int>(bytes.size()), std::chrono::seconds(10)));
        configureserialport();
        ASSERT_TRUE(observer_->waitqueued(0, std::chrono::seconds(10)));
        pty_.closeMaster();
    }

    PtyPair pty_;
    std::unique_ptr<LineObserver> observer_;
};

TEST_F(ReadPacketTest, ReadsAndTracesAWholePacket) {
    const Bytes line = linepacket(0x01, 0x7D, 0x06, {0x75, 0x30, 0x00, 0x02, 0x17, 0x70});
    pty_.send(line);
    std::string trace;
    const PacketRead result = read(trace);
    EXPECT_EQ(result.linefailure, 0);
    const std::unique_ptr<MotePacket>& packet = result.packet;
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->address, 0x007E);
    EXPECT_EQ(packet->packettype, 0x01);
    EXPECT_EQ(packet->group, 0x7D);
    EXPECT_EQ(packet->len, 6);
    EXPECT_EQ(bytesof(*packet), inmemory(line));
    EXPECT_EQ(trace,
              "Reading header (4 bytes)...\n"
              "Received rest of header\n"
              "Header:\n"
              "  address    = 0x007e\n"
              "  packettype = 0x01\n"
              "  group\t\t = 0x7d\n"
              "  len        = 6\n"
              "Receiveing data... (6 bytes used out of payload of 29)done.\n"
              "0x7e, 0x00, 0x01, 0x7d, 0x06, 0x75, 0x30, 0x00, 0x02, 0x17, 0x70, 0x00, "
              "0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, "
              "0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xab, 0xcd, \n");
}

TEST_F(ReadPacketTest, SizeAndQueryPacketsAreStillReadWhole) {
    const Bytes empty = linepacket(0x01, 0x7D, 0x00, {0x11, 0x22, 0x33}, {0x44, 0x55});
    const Bytes query = linepacket(0x70, 0x7D, 0x06, {0x00, 0x09});
    const Bytes data = linepacket(0x01, 0x7D, 0x06, {0x00, 0x0A, 0x00, 0x02, 0x0B, 0xB8});
    pty_.send(empty);
    pty_.send(query);
    pty_.send(data);
    std::string trace;
    for (const Bytes* line : {&empty, &query, &data}) {
        const std::unique_ptr<MotePacket> packet = read(trace).packet;
        ASSERT_NE(packet, nullptr);
        EXPECT_EQ(bytesof(*packet), inmemory(*line));
    }
}

TEST_F(ReadPacketTest, AHangUpMidBodyCutsThePacketOffAndSaysWhy) {
    const Bytes line =
        linepacket(0x01, 0x7D, 0x0E, {0x75, 0x35, 0x00, 0x02, 0x17, 0x70, 0x00, 0x03, 0x03, 0xE8});
    sendthenhangup(Bytes(line.begin(), line.begin() + 15));  // header and 10 payload bytes
    std::string trace;
    const PacketRead cut = read(trace);
    EXPECT_EQ(cut.packet, nullptr);
    EXPECT_EQ(cut.linefailure, ERROR_DEVICE_NOT_CONNECTED);
    const std::string traced = readertrace(line);
    const std::string open = "(14 bytes used out of payload of 29)";
    EXPECT_EQ(trace, traced.substr(0, traced.find(open) + open.size()) + "cut off.\n");
    // Every later read fails at once, before a start byte, without a trace.
    const PacketRead after = read(trace);
    EXPECT_EQ(after.packet, nullptr);
    EXPECT_EQ(after.linefailure, ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(trace, "");
}

TEST(ReadPacketClosedPort, ReportsThePortNotOpenAtOnceWithoutTrace) {
    ASSERT_EQ(serialport.Close(), 0);
    for (int call = 0; call < 3; ++call) {
        testing::internal::CaptureStdout();
        const PacketRead result = readpacket();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(result.packet, nullptr);
        EXPECT_EQ(result.linefailure, ERROR_INVALID_HANDLE);
    }
}

}  // namespace
