#include "journalrecord.h"

#include <cstring>

#include "bytefields.h"
#include "crc32.h"

RecordBytes encoderecord(std::int64_t arrivalus, const MotePacket& packet) {
    RecordBytes bytes{};
    std::uint8_t* payload = bytes.data() + RecordHeaderSize;
    putle(payload, static_cast<std::uint64_t>(arrivalus), 8);
    std::memcpy(payload + 8, &packet, PacketSize);
    putle(bytes.data(), RecordPayloadSize, 4);
    putle(bytes.data() + 4, crc32of(payload, RecordPayloadSize), 4);
    return bytes;
}

std::string decoderecord(const std::uint8_t* bytes, std::size_t available, JournalEntry& entry) {
    if (available < RecordHeaderSize) return "an incomplete record header";
    if (getle(bytes, 4) != RecordPayloadSize) return "a record of an unknown length";
    if (available < RecordSize) return "an incomplete record";
    const std::uint8_t* payload = bytes + RecordHeaderSize;
    if (getle(bytes + 4, 4) != crc32of(payload, RecordPayloadSize))
        return "a record whose checksum does not match";
    entry.arrivalus = static_cast<std::int64_t>(getle(payload, 8));
    std::memcpy(&entry.packet, payload + 8, PacketSize);
    return "";
}
