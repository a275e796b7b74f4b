#include "bench_traffic.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "conversions.h"
#include "mote_traffic.h"
#include "motepacket.h"

std::vector<motesim::Frame> benchFrames(std::size_t count, bool numbered) {
    motesim::TrafficConfig config;
    config.readingsPerFrame = 6;
    motesim::MoteTraffic traffic(config);
    std::vector<motesim::Frame> frames;
    frames.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto chunk = traffic.next();
        const auto moteId = numbered ? static_cast<std::uint16_t>(i % 65535 + 1) : chunk.moteId;
        frames.push_back(motesim::encodeDataFrame(moteId, chunk.readings));
    }
    return frames;
}

std::vector<PacketRows> rowsOf(const std::vector<motesim::Frame>& frames) {
    // The light conversion traces on standard output; keep that out of the report.
    std::fflush(stdout);
    const int console = dup(STDOUT_FILENO);
    const int nowhere = open("/dev/null", O_WRONLY);
    dup2(nowhere, STDOUT_FILENO);
    std::vector<PacketRows> all;
    for (const auto& frame : frames) {
        MotePacket packet{};
        std::memcpy(&packet, frame.data(), sizeof packet);
        PacketRows rows{decodemoteid(packet), {}};
        for (int i = 0; i < readingcount(packet); ++i) {
            const Reading reading = readingat(packet, i);
            const int type = decodedatatype(reading);
            rows.readings.push_back({type, convertreading(type, decodedatavalue(reading))});
        }
        all.push_back(std::move(rows));
    }
    std::fflush(stdout);
    dup2(console, STDOUT_FILENO);
    close(console);
    close(nowhere);
    return all;
}
