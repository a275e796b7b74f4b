#include "byte_ring.h"

#include <algorithm>
#include <cstring>

// A queue always holds at least one byte, so the index arithmetic never divides by 0.
ByteRing::ByteRing(std::size_t capacity) : storage_(std::max<std::size_t>(capacity, 1)) {}

std::size_t ByteRing::push(const std::uint8_t* bytes, std::size_t count) {
    std::size_t taken = std::min(count, freeSpace());
    if (taken == 0) return 0;  // `bytes` may then be null, which memcpy must not see
    std::size_t tail = (head_ + size_) % capacity();
    std::size_t first = std::min(taken, capacity() - tail);
    std::memcpy(storage_.data() + tail, bytes, first);
    std::memcpy(storage_.data(), bytes + first, taken - first);
    size_ += taken;
    return taken;
}

std::size_t ByteRing::pop(std::uint8_t* out, std::size_t count) {
    std::size_t taken = std::min(count, size_);
    if (taken == 0) return 0;
    std::size_t first = std::min(taken, capacity() - head_);
    std::memcpy(out, storage_.data() + head_, first);
    std::memcpy(out + first, storage_.data(), taken - first);
    head_ = taken == size_ ? 0 : (head_ + taken) % capacity();
    size_ -= taken;
    return taken;
}

void ByteRing::clear() {
    head_ = 0;
    size_ = 0;
}

void ByteRing::resize(std::size_t capacity) {
    std::vector<std::uint8_t> bytes(size_);
    pop(bytes.data(), bytes.size());
    storage_.assign(std::max({capacity, bytes.size(), std::size_t{1}}), 0);
    head_ = 0;
    push(bytes.data(), bytes.size());
}
