// Simulator output seen through the logger's own decoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "motepacket.h"
#include "mote_traffic.h"

// The in-memory packet the logger's reader builds from 36 bytes off the line.
MotePacket toMotePacket(const std::vector<std::uint8_t>& bytes);

// Mote id and readings as the logger decodes them.
struct DecodedFrame {
    int moteid = 0;
    std::vector<motesim::SimReading> readings;
};
DecodedFrame decodeFrame(const MotePacket& packet);

// Empty when the converted value of a reading is plausible for its type (light in lux,
// temperature in degrees F, humidity in %RH; any other type is stored raw), otherwise
// a description of what is wrong.
std::string implausibility(const motesim::SimReading& reading);
