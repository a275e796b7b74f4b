// A bounded first-in first-out byte queue: the input queue of a port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ByteRing {
public:
    explicit ByteRing(std::size_t capacity);

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return storage_.size(); }
    std::size_t freeSpace() const { return capacity() - size_; }
    bool empty() const { return size_ == 0; }

    // Appends up to `count` bytes; returns how many fitted.
    std::size_t push(const std::uint8_t* bytes, std::size_t count);
    // Removes up to `count` bytes into `out`; returns how many were taken.
    std::size_t pop(std::uint8_t* out, std::size_t count);
    void clear();
    // Changes the capacity to `capacity`, or to the bytes held if that is more.
    void resize(std::size_t capacity);

private:
    std::vector<std::uint8_t> storage_;
    std::size_t head_ = 0;  // index of the oldest byte
    std::size_t size_ = 0;
};
