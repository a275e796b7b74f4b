// The serial line the simulator writes to.
#pragma once

#include <cstddef>
#include <cstdint>

namespace motesim {

class Line {
public:
    virtual ~Line() = default;

    // Writes all `size` bytes. Returns false when a stop was requested before they were
    // all written; throws std::runtime_error (with the cause) when the line fails.
    virtual bool send(const std::uint8_t* data, std::size_t size) = 0;
};

}  // namespace motesim
