// Riding out a serial port that cannot be used: a device that is missing, held by another
// process, or gone in the middle of a run.
#pragma once

#include <cstdint>
#include <string>

// "COM1 (/dev/ttyUSB0)": the port and the device the operator gave it.
std::string portlabel();

// Says once on standard error that the port failed with `failure` (a Win32 code from
// opening or reading it), then closes it and opens and sets it again about once a second,
// writing nothing else and using next to no CPU, until every step succeeds. Says so on
// standard error and returns.
void waitforport(std::int32_t failure);
