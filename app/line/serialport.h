// The process-wide serial port that the base-station mote is connected to.
#pragma once

#include <cstdint>

#include "serial.h"

// Constructed closed before main runs; its destructor closes the port at process exit.
extern CSerial serialport;

// Opens "COM1" and sets 57600 baud, 8 data bits, no parity, one stop bit, hardware
// handshaking and blocking reads. Each failed step is reported on standard error and the
// next one runs regardless. Returns the open's code: 0 when the port opened.
std::int32_t configureserialport();

// The same steps on the closed port, without a word: returns 0 when every step
// succeeded, otherwise the code of the first that failed, with the port closed again.
std::int32_t reopenserialport();
