// Packets per second through the logger's decoding and conversion of a packet's
// readings: mote id, reading count, each reading's type and raw word, and the value in
// physical units. The light conversion traces its channel counts on standard output,
// as in the logger, so run this with standard output sent to a file; the report goes to
// standard error.
#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <vector>

#include "conversions.h"
#include "mote_traffic.h"
#include "motepacket.h"

namespace {

// Packets as the reader builds them, from the simulator's traffic of 6-reading frames.
std::vector<MotePacket> simulatedPackets(std::size_t count) {
    motesim::TrafficConfig config;
    config.readingsPerFrame = 6;
    motesim::MoteTraffic traffic(config);
    std::vector<MotePacket> packets(count);
    for (auto& packet : packets) {
        const auto chunk = traffic.next();
        std::memcpy(&packet, chunk.bytes.data(), sizeof packet);
        packet.address = PacketAddress;
    }
    return packets;
}

const std::vector<MotePacket>& packets() {
    static const std::vector<MotePacket> all = simulatedPackets(4096);
    return all;
}

template <bool convert>
void decodePackets(benchmark::State& state) {
    const auto& all = packets();
    std::size_t next = 0;
    for (auto _ : state) {
        const MotePacket& packet = all[next++ % all.size()];
        int moteid = decodemoteid(packet);
        benchmark::DoNotOptimize(moteid);
        const int count = readingcount(packet);
        for (int i = 0; i < count; ++i) {
            const Reading reading = readingat(packet, i);
            const int type = decodedatatype(reading);
            double value = decodedatavalue(reading);
            if (convert) value = convertreading(type, value);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["readings/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * MaxReadings, benchmark::Counter::kIsRate);
}

// The main loop's work on a 6-reading packet: decode and convert every reading.
void DecodeAndConvert(benchmark::State& state) { decodePackets<true>(state); }
// Decoding alone, to show what the conversions (and the light trace) add.
void DecodeOnly(benchmark::State& state) { decodePackets<false>(state); }

BENCHMARK(DecodeAndConvert);
BENCHMARK(DecodeOnly);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
