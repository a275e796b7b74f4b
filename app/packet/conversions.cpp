#include "conversions.h"

#include <cmath>

#include "tracechannel.h"

namespace {

struct ChannelCounts {
    std::uint32_t ch0;
    std::uint32_t ch1;
};

ChannelCounts channelcounts(double raw) {
    const auto word = static_cast<unsigned>(raw);
    return {channelcount(static_cast<std::uint8_t>((word >> 8) & 0xFFu)),
            channelcount(static_cast<std::uint8_t>(word & 0xFFu))};
}

double lux(ChannelCounts counts) {
    if (counts.ch0 == 0) return 0.0;  // no light on the broadband channel; also avoids 1/0
    const double ch0_counts = counts.ch0;
    const double ch1_counts = counts.ch1;
    const double scaled = ch0_counts * 0.46;
    const double exponent = (ch1_counts / ch0_counts) * -3.13;
    return std::exp(exponent) * scaled;
}

}  // namespace

double convertreading(int data_type, double raw) {
    return data_type == DataTypeLight ? convertlight(raw) : readingvalue(data_type, raw);
}

double readingvalue(int data_type, double raw) {
    switch (data_type) {
        case DataTypeLight:
            return lux(channelcounts(raw));
        case DataTypeTemperature:
            return converttemperature(raw);
        case DataTypeHumidity:
            return converthumidity(raw);
        default:
            return raw;
    }
}

std::uint32_t channelcount(std::uint8_t channelword) {
    const unsigned chord = (channelword & 0x70u) >> 4;
    const unsigned step = channelword & 0x0Fu;
    const unsigned stepvalue = 1u << chord;
    // The sensor's chord values are 16.5 * (2^C - 1) with the fraction dropped.
    const auto chordvalue = static_cast<std::uint32_t>(16.5 * (stepvalue - 1.0));
    return chordvalue + stepvalue * step;
}

double convertlight(double raw) {
    const ChannelCounts counts = channelcounts(raw);
    tracef("\nch0_counts = %04u, \nch1_counts = %04u\n", static_cast<unsigned>(counts.ch0),
                static_cast<unsigned>(counts.ch1));
    return lux(counts);
}

double converttemperature(double raw) { return 0.018 * raw + -39.28; }

double converthumidity(double raw) { return (0.0405 * raw + -4.0) + ((-2.8e-6 * raw) * raw); }
