#include "store_floor.h"

#include "readingstore.h"

FloorResult measureStoreFloor(const DbSettings& settings, const std::vector<PacketRows>& rows,
                              std::uint64_t packets, std::chrono::seconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    FloorResult result;
    while (result.packets < packets && Clock::now() - start < limit) {
        const PacketRows& packet = rows[result.packets % rows.size()];
        ReadingStore store(settings);
        for (const auto& reading : packet.readings)
            insertreading(store, packet.moteid, reading.dataType, reading.value);
        ++result.packets;
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}
