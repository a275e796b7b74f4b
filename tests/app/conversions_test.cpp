#include "conversions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

namespace {

struct LightCase {
    unsigned raw;
    const char* trace;
    double lux;
};

void PrintTo(const LightCase& light, std::ostream* os) { *os << "raw 0x" << std::hex << light.raw; }

class ConvertLight : public ::testing::TestWithParam<LightCase> {};

TEST_P(ConvertLight, TracesBothChannelCountsAndReturnsLux) {
    const LightCase& c = GetParam();
    testing::internal::CaptureStdout();
    const double lux = convertreading(DataTypeLight, c.raw);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.trace);
    EXPECT_NEAR(lux, c.lux, 5e-5 * (c.lux > 1 ? c.lux : 1));
}

INSTANTIATE_TEST_SUITE_P(
    SensorFigures, ConvertLight,
    ::testing::Values(LightCase{0x0000, "\nch0_counts = 0000, \nch1_counts = 0000\n", 0.0},
                      LightCase{0x8080, "\nch0_counts = 0000, \nch1_counts = 0000\n", 0.0},
                      LightCase{0x0001, "\nch0_counts = 0000, \nch1_counts = 0001\n", 0.0},
                      LightCase{0x0100, "\nch0_counts = 0001, \nch1_counts = 0000\n", 0.46},
                      LightCase{0x7F00, "\nch0_counts = 4015, \nch1_counts = 0000\n", 1846.9},
                      LightCase{0x7F7F, "\nch0_counts = 4015, \nch1_counts = 4015\n", 80.7424},
                      LightCase{0xFFFF, "\nch0_counts = 4015, \nch1_counts = 4015\n", 80.7424},
                      LightCase{0x4030, "\nch0_counts = 0247, \nch1_counts = 0115\n", 26.4584},
                      LightCase{0x3F1F, "\nch0_counts = 0235, \nch1_counts = 0046\n", 58.579},
                      LightCase{0x0170, "\nch0_counts = 0001, \nch1_counts = 2095\n", 0.0}),
    [](const ::testing::TestParamInfo<LightCase>& light) {
        char name[16];
        std::snprintf(name, sizeof name, "raw_%04X", light.param.raw);
        return std::string(name);
    });

TEST(ChannelCount, FollowsTheChordTableAndIgnoresBitSeven) {
    const unsigned chordvalues[8] = {0, 16, 49, 115, 247, 511, 1039, 2095};
    for (unsigned chord = 0; chord < 8; ++chord) {
        const unsigned step = 1u << chord;
        for (unsigned s = 0; s < 16; ++s) {
            const auto word = static_cast<std::uint8_t>((chord << 4) | s);
            EXPECT_EQ(channelcount(word), chordvalues[chord] + step * s) << "word " << +word;
            EXPECT_EQ(channelcount(static_cast<std::uint8_t>(word | 0x80)), channelcount(word));
        }
    }
    EXPECT_EQ(channelcount(0x7F), 4015u);
}

TEST(ConvertTemperature, IsLinearInTheWholeWord) {
    EXPECT_DOUBLE_EQ(convertreading(DataTypeTemperature, 0), -39.28);
    EXPECT_NEAR(convertreading(DataTypeTemperature, 3000), 14.72, 1e-9);
    EXPECT_NEAR(convertreading(DataTypeTemperature, 6000), 68.72, 1e-9);
    EXPECT_NEAR(convertreading(DataTypeTemperature, 65535), 1140.35, 1e-9);
}

TEST(ConvertHumidity, IsQuadraticAndUnclamped) {
    EXPECT_DOUBLE_EQ(convertreading(DataTypeHumidity, 0), -4.0);
    EXPECT_NEAR(convertreading(DataTypeHumidity, 1000), 33.7, 1e-9);
    EXPECT_NEAR(convertreading(DataTypeHumidity, 3000), 92.3, 1e-9);
    EXPECT_NEAR(convertreading(DataTypeHumidity, 6000), 138.2, 1e-9);
    EXPECT_NEAR(convertreading(DataTypeHumidity, 65535), -9375.374, 5e-4);
}

TEST(ConvertReading, PassesOtherTypesThroughSilently) {
    for (int type : {0, 4, 0xFFFF}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(convertreading(type, 0x1234), 4660.0) << "type " << type;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "type " << type;
    }
}

TEST(ConvertReading, TemperatureAndHumidityPrintNothing) {
    testing::internal::CaptureStdout();
    converttemperature(6000);
    converthumidity(1000);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
