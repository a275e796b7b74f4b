#include "legacyprogress.h"

#include "bytefields.h"
#include "crc32.h"

namespace {

// magic 4, crc 4, generation 8, spool id 8, stored 8, batch 4, batch count 4, batch xid 8,
// batch session 8
constexpr std::size_t SlotSize = 56;
constexpr std::uint32_t SlotMagic = 0x47504C4Du;  // "MLPG"

enum SlotBatch : std::uint64_t { NoBatch = 0, Preparing = 1, Prepared = 2 };

}  // namespace

std::optional<LegacyProgress> readlegacyprogress(const std::vector<std::uint8_t>& content) {
    std::optional<LegacyProgress> newest;
    std::uint64_t generation = 0;
    for (std::size_t at = 0; at + SlotSize <= content.size() && at < 2 * SlotSize; at += SlotSize) {
        const std::uint8_t* slot = content.data() + at;
        if (getle(slot, 4) != SlotMagic || getle(slot + 4, 4) != crc32of(slot + 8, SlotSize - 8))
            continue;
        const std::uint64_t batch = getle(slot + 32, 4);
        if (batch > Prepared || (newest && getle(slot + 8, 8) <= generation)) continue;
        generation = getle(slot + 8, 8);
        LegacyProgress p;
        p.stored = getle(slot + 24, 8);
        if (batch != NoBatch)
            p.batch = LegacyBatch{batch == Prepared, getle(slot + 16, 8), getle(slot + 40, 8),
                                  static_cast<std::uint32_t>(getle(slot + 36, 4))};
        newest = p;
    }
    return newest;
}
