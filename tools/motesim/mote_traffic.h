// What the simulated base-station mote sends: data frames from a number of motes whose
// light, temperature and humidity drift plausibly, sprinkled with readings of types the
// logger does not know and, on request, a share of damaged or unwanted input.
#pragma once

#include <cstdint>
#include <vector>

#include "mote_packet.h"
#include "random_source.h"

namespace motesim {

struct TrafficConfig {
    unsigned motes = 4;              // mote ids 1 .. motes, taking turns
    unsigned readingsPerFrame = 6;   // 1 .. kMaxReadings
    double corruptShare = 0.0;       // 0 .. 1: share of chunks that are not data frames
    std::uint64_t seed = 1;
};

enum class ChunkKind {
    Data,          // a well-formed frame with readings
    StrayBytes,    // 1 to 4 noise bytes between frames (never a start byte 0x00)
    SwappedStart,  // a data frame whose start bytes come as 0x7E, 0x00
    ZeroLength,    // a frame with len 0
    Query,         // a frame of the query type 0x70
};

// One unit written to the line. For Data (and SwappedStart, which carries the frame
// that was damaged) moteId and readings say what the frame holds.
struct Chunk {
    ChunkKind kind = ChunkKind::Data;
    std::vector<std::uint8_t> bytes;
    std::uint16_t moteId = 0;
    std::vector<SimReading> readings;
};

class MoteTraffic {
public:
    // Throws std::invalid_argument when the config is out of range.
    explicit MoteTraffic(const TrafficConfig& config);

    // The next chunk; the sequence depends only on the config.
    Chunk next();

private:
    struct Climate {
        double fahrenheit;
        double humidity;  // percent
        double lux;
        double infraredRatio;
    };

    Chunk dataChunk();
    Chunk corruptChunk();
    SimReading reading(Climate& climate, unsigned slot);
    void drift(Climate& climate);

    TrafficConfig config_;
    RandomSource random_;
    std::vector<Climate> climates_;
    std::uint64_t sequence_ = 0;
};

}  // namespace motesim
