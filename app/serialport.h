// The process-wide serial port that the base-station mote is connected to.
#pragma once

#include "serial.h"

// Constructed closed before main runs; its destructor closes the port at process exit.
extern CSerial serialport;

// Opens "COM1" and sets 57600 baud, 8 data bits, no parity, one stop bit, hardware
// handshaking and blocking reads. Each failed step is reported on standard error and the
// next one runs regardless.
void configureserialport();
