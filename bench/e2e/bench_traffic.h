// What the end-to-end benchmark sends: the simulator's 6-reading frames, and the same
// packets' readings already converted, for the store-only loop.
#pragma once

#include <cstdint>
#include <vector>

#include "mote_packet.h"

// `count` frames with 6 readings each. With `numbered`, frame i carries mote id i + 1
// (ids wrap after 65535), so each frame's rows can be told apart in the table.
std::vector<motesim::Frame> benchFrames(std::size_t count, bool numbered);

struct StoredReading {
    int dataType;
    double value;  // in physical units, as the logger stores it
};

struct PacketRows {
    int moteid;
    std::vector<StoredReading> readings;
};

// The rows the logger would store for `frames`, converted by its own conversions.
std::vector<PacketRows> rowsOf(const std::vector<motesim::Frame>& frames);
