// Mote packets as they travel on the serial line, built for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// (data_type, raw data_value)
using RawReading = std::pair<std::uint16_t, std::uint16_t>;

// 36 line bytes: 0x00, 0x7E, the header, `payload` padded with zeros to 29 bytes, then
// the trailer.
Bytes linepacket(std::uint8_t packettype, std::uint8_t group, std::uint8_t len, Bytes payload,
                 Bytes trailer = {0xAB, 0xCD});

// 36 line bytes: 0x00, 0x7E, the header with group 0x7D, the big-endian mote id and readings padded
// with zeros to 29 payload bytes, then the trailer.
Bytes datapacket(std::uint8_t packettype, std::uint8_t len, std::uint16_t moteid,
                 const std::vector<RawReading>& readings, Bytes trailer = {0xAB, 0xCD});

// The line bytes as the reader stores them: the address low byte first.
Bytes inmemory(Bytes line);

// The reader's trace of one packet: header lines and the dump of its 36 bytes in memory.
std::string readertrace(const Bytes& line);

// `count` lines of "Packet not recognized.".
std::string notrecognized(int count);
