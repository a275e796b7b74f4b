// CRC-32 (the IEEE polynomial, as zlib and Ethernet use it) for the spool's records.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of `size` bytes at `data`.
std::uint32_t crc32of(const void* data, std::size_t size);
