#include "custom_baud.h"

#include "sys_ioctl.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

int setCustomRate(int fd, unsigned rate) {
    termios2 settings{};
    if (int error = sysIoctl(fd, TCGETS2, &settings)) return error;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    return sysIoctl(fd, TCSETS2, &settings);
}

int readCustomRate(int fd, unsigned& rate) {
    termios2 settings{};
    if (int error = sysIoctl(fd, TCGETS2, &settings)) return error;
    rate = settings.c_ospeed;
    return 0;
}
