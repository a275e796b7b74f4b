// The progress file of motelog's XA version: two fixed-size checksummed slots, the newer
// one in force. Read once, when this version first starts on such a spool.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// A batch that the XA version had under way when it stopped.
struct LegacyBatch {
    bool prepared = false;      // prepared on the server (else: maybe being prepared)
    std::uint64_t spoolid = 0;  // with `xid`, the name of its XA transaction
    std::uint64_t xid = 0;
    std::uint32_t count = 0;  // its records, from the stored position on
};

struct LegacyProgress {
    std::uint64_t stored = 0;  // every record before this seq was stored
    std::optional<LegacyBatch> batch;
};

// The XA version's record in `content` (a whole progress file), if it holds an intact slot.
std::optional<LegacyProgress> readlegacyprogress(const std::vector<std::uint8_t>& content);
