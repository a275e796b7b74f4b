// ioctl through the system-call seam, declared apart from sys_calls.h so that files
// which include the kernel's <asm/termbits.h> (it clashes with <termios.h>) can use it.
#pragma once

// Issues `request` on `fd`, retrying EINTR. Returns 0 or the errno of the failure.
int sysIoctl(int fd, unsigned long request, void* argument);
