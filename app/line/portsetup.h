// The steps that make COM1 ready for the motes' traffic, shared by the logger's start-up
// and by `motelog --check`, so that the check tries exactly what a start does.
#pragma once

#include <array>

#include "serial.h"

// The port the base-station mote is connected to.
constexpr const char* MotePortName = "COM1";

struct PortStep {
    const char* what;            // the step in words, e.g. "57600 baud, 8N1"
    LONG (*run)(CSerial& port);  // 0 on success, else the port's result
};

// Open, then 57600 baud with 8 data bits, no parity and one stop bit, hardware
// handshaking and blocking reads, in that order.
const std::array<PortStep, 4>& portsteps();
