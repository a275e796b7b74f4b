// The machine a benchmark runs on, named in its results.
#pragma once

#include <string>

// "CPU model, N cores, M GiB, system, kernel K".
std::string machineDescription();

// The 1-minute load average, 0 when it cannot be read.
double loadAverage();
