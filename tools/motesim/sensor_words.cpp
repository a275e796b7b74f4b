#include "sensor_words.h"

#include <algorithm>
#include <cmath>

namespace motesim {

namespace {

constexpr unsigned kMaxChannelCount = 4015;

std::uint16_t clampToWord(double value) {
    return static_cast<std::uint16_t>(std::lround(std::clamp(value, 0.0, 65535.0)));
}

unsigned chordValue(unsigned chord) {
    return static_cast<unsigned>(16.5 * ((1u << chord) - 1.0));
}

}  // namespace

std::uint16_t temperatureWord(double fahrenheit) {
    return clampToWord((fahrenheit + 39.28) / 0.018);
}

std::uint16_t humidityWord(double percent) {
    constexpr double a = -2.8e-6, b = 0.0405, c = -4.0;
    const double target = std::clamp(percent, -4.0, 142.0);
    // Smaller root of a*w^2 + b*w + (c - target) = 0; clamped so rounding at the top of
    // the curve cannot make the discriminant negative.
    const double discriminant = std::max(0.0, b * b - 4 * a * (c - target));
    return clampToWord((-b + std::sqrt(discriminant)) / (2 * a));
}

std::uint8_t lightChannelWord(unsigned count) {
    count = std::min(count, kMaxChannelCount);
    unsigned chord = 7;
    while (chordValue(chord) > count) --chord;
    const unsigned step = std::min(15u, (count - chordValue(chord)) >> chord);
    return static_cast<std::uint8_t>(chord << 4 | step);
}

std::uint16_t lightWord(double lux, double ratio) {
    ratio = std::clamp(ratio, 0.0, 1.0);
    const double ch0 = std::min(std::max(lux, 0.0) / (0.46 * std::exp(-3.13 * ratio)),
                                static_cast<double>(kMaxChannelCount));
    const auto ch0Count = static_cast<unsigned>(std::lround(ch0));
    const auto ch1Count = static_cast<unsigned>(std::lround(ch0 * ratio));
    return static_cast<std::uint16_t>(lightChannelWord(ch0Count) << 8 | lightChannelWord(ch1Count));
}

}  // namespace motesim
