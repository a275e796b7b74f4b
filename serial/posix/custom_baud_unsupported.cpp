// Built where the kernel headers lack termios2: only the standard rates are available.
#include "custom_baud.h"

#include <cerrno>

int setCustomRate(int, unsigned) { return EINVAL; }

int readCustomRate(int, unsigned&) { return EINVAL; }
