// Line speeds that have no termios speed code, set through the kernel's termios2
// interface (BOTHER). Kept apart because <asm/termbits.h> clashes with <termios.h>.
#pragma once

// Sets input and output speed of the tty `fd` to `rate` bits per second, leaving every
// other setting as it is. Returns 0 or the errno of the failure (EINVAL where the
// kernel interface is missing).
int setCustomRate(int fd, unsigned rate);

// Reads the output speed of the tty `fd` in bits per second into `rate`. Returns 0 or
// the errno of the failure.
int readCustomRate(int fd, unsigned& rate);
