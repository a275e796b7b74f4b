// Reporting of failed serial-port steps.
#pragma once

#include <cstdint>

// When `result` is non-zero, writes "Win32 Error Code: " and `errorCode` in decimal on
// standard error and returns true; returns false and writes nothing when it is 0.
bool reporterror(std::int32_t result, std::int32_t errorCode);
