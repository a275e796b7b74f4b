// Translation of the kernel's modem-line bits and serial counters into the Win32
// MS_, CE_ and EV_ bits. Pure functions, so they can be checked without hardware.
#pragma once

#include "comm_api.h"

#include <linux/serial.h>

// MS_ bits of the input lines that are on in a TIOCMGET word.
DWORD modemStatusFromLines(int lines);

// EV_CTS, EV_DSR, EV_RLSD and EV_RING for the input lines that differ between two
// TIOCMGET words.
DWORD eventsFromLineChange(int before, int now);

// CE_ bits for the line errors counted between two TIOCGICOUNT readings.
DWORD errorsFromCounters(const serial_icounter_struct& before, const serial_icounter_struct& now);

// EV_BREAK and EV_ERR for the breaks and line errors counted between two readings.
DWORD eventsFromCounters(const serial_icounter_struct& before, const serial_icounter_struct& now);
