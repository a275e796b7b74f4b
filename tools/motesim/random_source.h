// A seeded random source whose output depends only on the seed: the standard
// distributions may differ between library implementations, these helpers do not.
#pragma once

#include <cstdint>
#include <random>

namespace motesim {

class RandomSource {
public:
    explicit RandomSource(std::uint64_t seed) : engine_(seed) {}

    // Uniform in [0, 1).
    double unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    // Uniform in [low, high).
    double between(double low, double high) { return low + (high - low) * unit(); }
    // Uniform in [0, n); n must be positive.
    std::uint64_t below(std::uint64_t n) { return engine_() % n; }
    // True with probability p.
    bool chance(double p) { return unit() < p; }

private:
    std::mt19937_64 engine_;
};

}  // namespace motesim
