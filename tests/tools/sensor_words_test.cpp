// The simulator's raw words must convert, through the logger's own conversions, to the
// physical values the simulator meant.
#include "sensor_words.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "conversions.h"

namespace {

double lux(std::uint16_t word) {
    testing::internal::CaptureStdout();  // the light conversion traces its counts
    const double value = convertlight(word);
    testing::internal::GetCapturedStdout();
    return value;
}

TEST(TemperatureWord, ConvertsBackWithinRounding) {
    for (double fahrenheit = 32; fahrenheit <= 110; fahrenheit += 0.25)
        EXPECT_NEAR(converttemperature(motesim::temperatureWord(fahrenheit)), fahrenheit, 0.009);
}

TEST(TemperatureWord, ClampsToTheWord) {
    EXPECT_EQ(motesim::temperatureWord(-100), 0);
    EXPECT_EQ(motesim::temperatureWord(5000), 65535);
}

TEST(HumidityWord, ConvertsBackOnTheRisingBranch) {
    for (double percent = 0; percent <= 100; percent += 0.25) {
        const std::uint16_t word = motesim::humidityWord(percent);
        EXPECT_NEAR(converthumidity(word), percent, 0.03) << "word " << word;
        // The rising branch ends at the top of the quadratic, about word 7232.
        EXPECT_LT(word, 7232);
    }
}

TEST(HumidityWord, ClampsOutOfRangeTargetsToTheCurve) {
    EXPECT_NEAR(converthumidity(motesim::humidityWord(500)), 142.0, 0.01);
    EXPECT_NEAR(converthumidity(motesim::humidityWord(-50)), -4.0, 0.03);
}

TEST(LightChannelWord, GivesTheLargestCountNotAboveTheTarget) {
    for (unsigned count = 0; count <= 4015; ++count) {
        const std::uint8_t word = motesim::lightChannelWord(count);
        ASSERT_EQ(word & 0x80, 0) << "count " << count;
        const unsigned got = channelcount(word);
        ASSERT_LE(got, count);
        // No other channel word lands closer below the target.
        for (unsigned other = 0; other < 0x80; ++other) {
            const unsigned c = channelcount(static_cast<std::uint8_t>(other));
            ASSERT_FALSE(c > got && c <= count) << "count " << count << ": word " << other;
        }
    }
    EXPECT_EQ(motesim::lightChannelWord(100000), 0x7F);
}

TEST(LightWord, ComesWithinTheChannelResolutionOfItsLux) {
    for (double target = 20; target <= 1500; target += 7)
        for (double ratio = 0.05; ratio <= 0.5; ratio += 0.05) {
            const double reachable = std::min(target, 4015 * 0.46 * std::exp(-3.13 * ratio));
            EXPECT_NEAR(lux(motesim::lightWord(target, ratio)), reachable, 0.15 * reachable)
                << "target " << target << " lux, ratio " << ratio;
        }
}

TEST(LightWord, DarknessGivesZeroLux) {
    EXPECT_EQ(motesim::lightWord(0, 0.2), 0);
    EXPECT_EQ(lux(motesim::lightWord(0, 0.2)), 0.0);
}

}  // namespace
