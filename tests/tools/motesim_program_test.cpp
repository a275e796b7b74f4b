// The motesim program on real pseudo-terminals: what it writes through CSerial, what
// the logger's reader makes of its pty line, its pacing and its errors.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "decoded_frame.h"
#include "pty_pair.h"
#include "readpacket.h"
#include "serialport.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> expectedBytes(const motesim::TrafficConfig& config, int chunks) {
    motesim::MoteTraffic traffic(config);
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < chunks; ++i) {
        const auto chunk = traffic.next();
        bytes.insert(bytes.end(), chunk.bytes.begin(), chunk.bytes.end());
    }
    return bytes;
}

void openForReader(const std::string& path) {
    ASSERT_EQ(serialport.Open(path.c_str()), 0) << path;
    ASSERT_EQ(serialport.Setup(CSerial::BaudRate57600, CSerial::DataBits8, CSerial::ParityNone,
                               CSerial::StopBitsOne),
              0);
    ASSERT_EQ(serialport.SetupReadTimeouts(CSerial::ReadBlocking), 0);
}

TEST(MotesimProgram, WritesTheSeededSequenceToADevice) {
    PtyPair line;
    ChildProcess motesim(MOTESIM_PATH, {"--device", line.slavePath(), "--count", "150", "--rate",
                                        "0", "--seed", "11", "--corrupt", "0.2"});
    motesim::TrafficConfig config;
    config.seed = 11;
    config.corruptShare = 0.2;
    const auto expected = expectedBytes(config, 150);
    EXPECT_EQ(line.receive(expected.size(), 5s), expected);
    EXPECT_EQ(motesim.waitForExit(5s), 0) << motesim.err();
    std::map<motesim::ChunkKind, int> sent;
    motesim::MoteTraffic traffic(config);
    for (int i = 0; i < 150; ++i) ++sent[traffic.next().kind];
    using Kind = motesim::ChunkKind;
    const std::string summary =
        "motesim: sent " + std::to_string(sent[Kind::Data]) + " data packets, " +
        std::to_string(sent[Kind::Query]) + " queries, " + std::to_string(sent[Kind::ZeroLength]) +
        " empty packets, " + std::to_string(sent[Kind::SwappedStart]) +
        " packets with swapped start bytes and " + std::to_string(sent[Kind::StrayBytes]) +
        " runs of stray bytes; 150 in all, " + std::to_string(expected.size()) + " bytes in ";
    EXPECT_EQ(motesim.err().rfind(summary, 0), 0u) << motesim.err() << "\nwanted: " << summary;
    EXPECT_TRUE(line.receive(1, 50ms).empty()) << "nothing after the last packet";
}

TEST(MotesimProgram, FeedsTheLoggersReaderOnItsOwnPty) {
    ChildProcess motesim(MOTESIM_PATH,
                         {"--pty", "--count", "60", "--rate", "0", "--seed", "5", "--motes", "3"});
    const std::string farEnd = motesim.readLine(5s);
    ASSERT_EQ(farEnd.rfind("/dev/pts/", 0), 0u) << "first line: " << farEnd;
    openForReader(farEnd);

    motesim::TrafficConfig config;
    config.seed = 5;
    config.motes = 3;
    motesim::MoteTraffic traffic(config);
    std::vector<DecodedFrame> frames;
    testing::internal::CaptureStdout();  // the reader traces every packet
    for (int i = 0; i < 60; ++i) {
        const auto packet = readpacket().packet;
        if (!packet) break;
        frames.push_back(decodeFrame(*packet));
    }
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(frames.size(), 60u);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(frames[i].moteid, i % 3 + 1);
        EXPECT_EQ(frames[i].readings, traffic.next().readings) << "packet " << i;
        for (const auto& reading : frames[i].readings) EXPECT_EQ(implausibility(reading), "");
    }
    // motesim stays until the reader has closed the line, so nothing sent is lost.
    EXPECT_EQ(motesim.waitForExit(200ms), -1) << "motesim left before the reader closed the line";
    serialport.Close();
    EXPECT_EQ(motesim.waitForExit(5s), 0) << motesim.err();
}

TEST(MotesimProgram, LeavesOnceTheReaderClosesTheLine) {
    ChildProcess motesim(MOTESIM_PATH, {"--pty", "--count", "3", "--rate", "0"});
    const std::string farEnd = motesim.readLine(5s);
    openForReader(farEnd);
    std::uint8_t bytes[3 * 36];
    DWORD got = 0;
    EXPECT_EQ(serialport.Read(bytes, sizeof bytes, &got, nullptr, 5000), 0);
    EXPECT_EQ(got, sizeof bytes);
    serialport.Close();
    EXPECT_EQ(motesim.waitForExit(5s), 0) << motesim.err();
    EXPECT_NE(motesim.err().find("sent 3 data packets, 0 queries, 0 empty packets, 0 packets "
                                 "with swapped start bytes and 0 runs of stray bytes; 3 in "
                                 "all, 108 bytes"),
              std::string::npos)
        << motesim.err();
}

TEST(MotesimProgram, KeepsTheRequestedRate) {
    PtyPair line;
    const auto start = std::chrono::steady_clock::now();
    ChildProcess motesim(MOTESIM_PATH,
                         {"--device", line.slavePath(), "--count", "17", "--rate", "160"});
    EXPECT_EQ(line.receive(17 * 36, 5s).size(), 17u * 36);
    // 16 gaps of 1/160 s between 17 packets.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
    EXPECT_EQ(motesim.waitForExit(5s), 0) << motesim.err();
}

TEST(MotesimProgram, StopsOnSigtermAndTellsWhatItSent) {
    ChildProcess motesim(MOTESIM_PATH, {"--pty", "--rate", "1000"});
    const std::string farEnd = motesim.readLine(5s);
    openForReader(farEnd);
    std::uint8_t bytes[10 * 36];
    EXPECT_EQ(serialport.Read(bytes, sizeof bytes, nullptr, nullptr, 5000), 0);
    motesim.signal(SIGTERM);
    EXPECT_EQ(motesim.waitForExit(5s), 0) << motesim.err();
    EXPECT_NE(motesim.err().find("motesim: sent "), std::string::npos) << motesim.err();
    serialport.Close();
}

TEST(MotesimProgram, PointsALinkAtItsPtyThatTheNextRunTakesOver) {
    const std::string link = testing::TempDir() + "motesim-link-" + std::to_string(getpid());
    for (int run = 0; run < 2; ++run) {
        ChildProcess motesim(MOTESIM_PATH, {"--pty", "--link", link});
        const std::string farEnd = motesim.readLine(5s);
        char target[256] = {};
        EXPECT_GT(readlink(link.c_str(), target, sizeof target - 1), 0) << link;
        EXPECT_EQ(target, farEnd) << "run " << run;
        EXPECT_EQ(motesim.stop(SIGTERM, 5s), 0) << motesim.err();
    }
    std::remove(link.c_str());
}

TEST(MotesimProgram, ExplainsWhatIsWrongWithItsArguments) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"--pty", "--rate", "fast"}, 2, "motesim: --rate wants a number from 0 to 1e+09, not 'fast'"},
        {{"--count", "5"}, 2, "motesim: give either --device NAME or --pty"},
        {{"--pty", "--device", "COM1"}, 2, "motesim: give either --device NAME or --pty"},
        {{"--pty", "--readings", "7"}, 2, "motesim: --readings wants 1 to 6, not 7"},
        {{"--pty", "--corrupt", "-0.1"}, 2, "motesim: --corrupt wants a number from 0 to 1"},
        {{"--pty", "--motes"}, 2, "motesim: --motes needs a value"},
        {{"--pty", "--loud"}, 2, "motesim: unknown option --loud"},
        {{"--device", "COM1", "--link", "/tmp/x"}, 2, "motesim: --link goes with --pty"},
        {{"--device", "/dev/no-such-port"}, 1,
         "motesim: opening /dev/no-such-port failed: /dev/no-such-port not found (Win32 error 2)"},
        {{"--device", "/dev/null"}, 1,
         "motesim: opening /dev/null failed: /dev/null is not a terminal, so no serial port "
         "(Win32 error 2)"},
    };
    for (const Case& c : cases) {
        ChildProcess motesim(MOTESIM_PATH, c.args);
        EXPECT_EQ(motesim.waitForExit(5s), c.status) << c.message;
        EXPECT_EQ(motesim.err().rfind(c.message, 0), 0u) << motesim.err();
    }
}

}  // namespace
