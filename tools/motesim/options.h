// Command line of motesim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mote_traffic.h"

namespace motesim {

// Packets per second at 57600 baud, 10 bit times per byte and 36 bytes per packet.
constexpr double kLineRatePackets = 57600.0 / 10 / kFrameSize;

struct Options {
    std::string device;         // port name ("COM1") or device path; empty with usePty
    bool usePty = false;        // create a pty pair and play the master side
    std::string link;           // with usePty: a symbolic link pointed at the far end
    double rate = kLineRatePackets;  // packets per second; 0 = as fast as the line takes
    std::uint64_t count = 0;    // packets to send; 0 = until stopped
    TrafficConfig traffic;
    bool help = false;
};

// Parses the arguments after the program name. Throws std::invalid_argument with a
// message naming the offending option.
Options parseOptions(const std::vector<std::string>& args);

// The --help text.
const char* usageText();

}  // namespace motesim
