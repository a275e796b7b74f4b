// Raw sensor words for physical values: the inverse of the logger's conversions, so a
// simulated mote can report a chosen temperature, humidity or light level.
#pragma once

#include <cstdint>

namespace motesim {

// Temperature word for `fahrenheit`: 0.018 * word - 39.28 comes within 0.009 degrees F.
// Values outside the word's range are clamped to 0 or 65535.
std::uint16_t temperatureWord(double fahrenheit);

// Humidity word for `percent` relative humidity on the rising branch of the sensor's
// quadratic (0.0405 * w - 4 - 2.8e-6 * w^2). `percent` is clamped to -4 .. 142, the
// range that branch covers.
std::uint16_t humidityWord(double percent);

// Channel word (chord in bits 6..4, step in bits 3..0) whose count is the largest one
// not above `count`; counts above 4015 give the top word 0x7F.
std::uint8_t lightChannelWord(unsigned count);

// Light word whose lux is close to `lux` for a channel-1/channel-0 ratio of `ratio`
// (infrared share, 0 .. 1). The channel-0 count is capped at 4015, which caps the lux.
std::uint16_t lightWord(double lux, double ratio);

}  // namespace motesim
