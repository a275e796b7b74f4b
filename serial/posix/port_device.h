// Claiming and releasing a serial device for one exclusive owner.
#pragma once

#include "comm_api.h"

#include <termios.h>

#include <string>

// Opens the tty at `path` non-blocking, takes it exclusively (flock, which holds
// between processes and for root too, plus TIOCEXCL) and switches it to raw mode.
// Returns ERROR_SUCCESS with `fd` and the settings now in force, or the Win32 code:
// ERROR_FILE_NOT_FOUND for a missing device or one that is not a tty,
// ERROR_ACCESS_DENIED when another owner holds it, or the translated errno.
DWORD openExclusiveDevice(const std::string& path, int& fd, termios& settings);

// Whether `path` is the slave side of a pseudo-terminal: a line without character
// framing, which keeps 8 data bits and no parity whatever it is told.
bool isPseudoTerminal(const std::string& path);

// Gives the device up again and closes `fd`.
void releaseExclusiveDevice(int fd);
