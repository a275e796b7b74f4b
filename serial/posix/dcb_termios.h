// Mapping between the Win32 line settings record (DCB) and termios. Pure functions:
// nothing here touches a device.
#pragma once

#include "comm_api.h"

#include <termios.h>

// The settings a port starts from before anything is applied: 9600 baud, 8 data bits,
// no parity, one stop bit, no handshaking, DTR and RTS on, XON 0x11 / XOFF 0x13.
DCB defaultDcb();

// Why `dcb` cannot be applied to a serial line (ERROR_INVALID_PARAMETER), or
// ERROR_SUCCESS. Does not decide whether the device accepts the baud rate.
DWORD validateDcb(const DCB& dcb);

// The termios speed code of `rate` bits per second, or B0 when `rate` has none (a
// non-standard rate, which needs termios2).
speed_t standardSpeedCode(DWORD rate);
// The rate in bits per second of a termios speed code, or 0 when it names none.
DWORD rateOfSpeedCode(speed_t code);

// `base` changed to describe the line of `dcb`: character size, parity, stop bits,
// RTS/CTS and XON/XOFF flow control and a standard rate. Everything else in `base`,
// and its speed for a non-standard rate, is kept.
termios termiosFromDcb(const termios& base, const DCB& dcb);

// `settings` switched to raw byte transfer (no echo, no line editing, no character
// translation), with the receiver on and the modem control lines ignored.
termios rawTermios(const termios& settings);

// The DCB that describes the line of `settings` running at `rate` bits per second.
// Fields termios does not hold take their defaultDcb() values.
DCB dcbFromTermios(const termios& settings, DWORD rate);

// `wanted` with the character size and parity of `device`: for a line that has no
// character framing, where the framing fields live in the DCB alone.
termios withFramingOf(const termios& wanted, const termios& device);

// True when applying `wanted` over `current` would change nothing.
bool sameTermios(const termios& current, const termios& wanted);
