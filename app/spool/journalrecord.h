// One record of the spool's journal: a packet with readings and when it came off the
// line. On disk: the payload's length (4 bytes), the CRC-32 of the payload (4 bytes), then
// the payload. Numbers are little-endian. Two layouts, told apart by the length:
// - current (68): wall clock in µs since the epoch (8), boot id (16), boot clock in µs (8),
//   the packet's 36 bytes as held in memory;
// - landed (44), written by earlier motelogs: wall clock (8), the packet's 36 bytes.
// A segment file holds records of one layout, so every record has a fixed place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "arrivalclock.h"
#include "motepacket.h"

constexpr std::size_t RecordHeaderSize = 8;
constexpr std::size_t RecordPayloadSize = 8 + 16 + 8 + PacketSize;
constexpr std::size_t RecordSize = RecordHeaderSize + RecordPayloadSize;
constexpr std::size_t LandedRecordPayloadSize = 8 + PacketSize;
constexpr std::size_t LandedRecordSize = RecordHeaderSize + LandedRecordPayloadSize;

struct JournalEntry {
    std::uint64_t seq = 0;  // the record's place in the journal, counted from its start
    ArrivalTime arrival;    // landed records know only the wall clock
    MotePacket packet{};
};

using RecordBytes = std::array<std::uint8_t, RecordSize>;

RecordBytes encoderecord(const ArrivalTime& arrival, const MotePacket& packet);

// Checks the record of `recordsize` bytes (RecordSize or LandedRecordSize) at `bytes`
// (`available` bytes from there to the end of the file) and decodes it into `entry` (all
// but seq). Returns "" when it is whole and intact, otherwise what is wrong with it.
std::string decoderecord(const std::uint8_t* bytes, std::size_t available, std::size_t recordsize,
                         JournalEntry& entry);
