#include "journalrecord.h"

#include <cstring>

#include "bytefields.h"
#include "crc32.h"

RecordBytes encoderecord(const ArrivalTime& arrival, const MotePacket& packet) {
    RecordBytes bytes{};
    std::uint8_t* payload = bytes.data() + RecordHeaderSize;
    putle(payload, static_cast<std::uint64_t>(arrival.wallus), 8);
    std::memcpy(payload + 8, arrival.bootid.data(), arrival.bootid.size());
    putle(payload + 24, static_cast<std::uint64_t>(arrival.bootus), 8);
    std::memcpy(payload + 32, &packet, PacketSize);
    putle(bytes.data(), RecordPayloadSize, 4);
    putle(bytes.data() + 4, crc32of(payload, RecordPayloadSize), 4);
    return bytes;
}

std::string decoderecord(const std::uint8_t* bytes, std::size_t available, std::size_t recordsize,
                         JournalEntry& entry) {
    const std::size_t payloadsize = recordsize - RecordHeaderSize;
    if (available < RecordHeaderSize) return "an incomplete record header";
    if (getle(bytes, 4) != payloadsize) return "a record of an unknown length";
    if (available < recordsize) return "an incomplete record";
    const std::uint8_t* payload = bytes + RecordHeaderSize;
    if (getle(bytes + 4, 4) != crc32of(payload, payloadsize))
        return "a record whose checksum does not match";
    entry.arrival = ArrivalTime{};
    entry.arrival.wallus = static_cast<std::int64_t>(getle(payload, 8));
    if (recordsize == LandedRecordSize) {
        std::memcpy(&entry.packet, payload + 8, PacketSize);
        return "";
    }
    std::memcpy(entry.arrival.bootid.data(), payload + 8, entry.arrival.bootid.size());
    entry.arrival.bootus = static_cast<std::int64_t>(getle(payload + 24, 8));
    std::memcpy(&entry.packet, payload + 32, PacketSize);
    return "";
}
