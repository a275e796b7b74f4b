// Building command packets addressed to a mote.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "motepacket.h"

// One argument of a command packet: each value contributes its low 16 bits.
struct ArgumentPair {
    long first;
    long second;
};

using CommandPacket = std::array<std::uint8_t, PacketSize>;

// The 36 bytes hold at most 7 pairs (the 7th reaches past the payload into the trailer).
constexpr std::size_t MaxArgumentPairs = 7;

// Builds a command packet, tracing each step on standard output: the destination
// `address` high byte first, 0x7D, `packettype`, 4 * the pair count, then `moteid` and
// every pair's two words low byte first; unused bytes are 0. Sets *packetlength to 36.
// More than 7 pairs do not fit: the call is refused with an error line on standard
// error, *packetlength is set to 0 and the result is null.
std::unique_ptr<CommandPacket> assemblepacket(std::uint8_t packettype, std::uint16_t address,
                                              std::uint16_t moteid, std::uint8_t* packetlength,
                                              const std::vector<ArgumentPair>& pairs);
