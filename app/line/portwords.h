// Plain words for what went wrong with the serial port, for messages an operator reads.
#pragma once

#include <cstdint>
#include <string>

// The device that a port name such as "COM1" stands for on this machine (the environment
// variable of the same name, else /dev/ttyS0 for COM1); a device path stays as it is.
// Empty when the name names no device.
std::string portdevicepath(const char* portname);

// What a Win32 code from opening or reading a port means, in a few words: "not found",
// "in use by another process", "device disconnected", ...; "Win32 error N" for others.
std::string portproblemwords(std::int32_t code);

// Why opening `portname` failed with `code`, in words. A device that exists but is no
// terminal is refused with the same code as a missing one (there is no serial port by
// that name); this tells the two apart: "/dev/null is not a terminal, so no serial port".
std::string portopenproblemwords(const char* portname, std::int32_t code);
