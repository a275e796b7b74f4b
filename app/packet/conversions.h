// Conversion of raw 16-bit sensor words into physical units.
#pragma once

#include <cstdint>

// The data_type codes that have a conversion; every other code is valid and its value
// is passed through unchanged.
enum DataType : int {
    DataTypeLight = 1,
    DataTypeTemperature = 2,
    DataTypeHumidity = 3,
};

// The value of a reading: light in lux, temperature in degrees Fahrenheit, humidity in
// percent relative humidity; for any other data_type the raw value itself. `raw` is the
// whole 16-bit word (0 to 65535). Never fails.
double convertreading(int data_type, double raw);

// The same value as convertreading, without the light conversion's trace.
double readingvalue(int data_type, double raw);

// Lux from a light word whose high byte is channel 0 and low byte channel 1. Prints the
// two channel counts on standard output. 0 when channel 0 counts 0.
double convertlight(double raw);

// Degrees Fahrenheit from a temperature word; no range limit.
double converttemperature(double raw);

// Percent relative humidity (not temperature-compensated) from a humidity word; may
// come out below 0 or above 100.
double converthumidity(double raw);

// The count (0 to 4015) of one light channel word: bits 6-4 the chord, bits 3-0 the
// step; bit 7 is ignored.
std::uint32_t channelcount(std::uint8_t channelword);
