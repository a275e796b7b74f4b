// One record of the spool's journal: a packet with readings and the wall-clock time it
// came off the line. On disk: the payload's length (4 bytes), the CRC-32 of the payload
// (4 bytes), then the payload: the arrival time in microseconds since the epoch (8 bytes)
// and the packet's 36 bytes as held in memory. Numbers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "motepacket.h"

constexpr std::size_t RecordHeaderSize = 8;
constexpr std::size_t RecordPayloadSize = 8 + PacketSize;
constexpr std::size_t RecordSize = RecordHeaderSize + RecordPayloadSize;

struct JournalEntry {
    std::uint64_t seq = 0;        // the record's place in the journal, counted from its start
    std::int64_t arrivalus = 0;   // wall clock when the packet was read, µs since the epoch
    MotePacket packet{};
};

using RecordBytes = std::array<std::uint8_t, RecordSize>;

RecordBytes encoderecord(std::int64_t arrivalus, const MotePacket& packet);

// Checks the record at `bytes` (`available` bytes from there to the end of the file) and
// decodes it into `entry` (all but seq). Returns "" when it is whole and intact, otherwise
// what is wrong with it.
std::string decoderecord(const std::uint8_t* bytes, std::size_t available, JournalEntry& entry);
