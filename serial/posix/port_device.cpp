#include "port_device.h"

#include "dcb_termios.h"
#include "errno_map.h"
#include "sys_calls.h"
#include "sys_ioctl.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace {

// Claims the open tty `fd`; returns ERROR_SUCCESS or the Win32 code of the refusal.
DWORD claim(int fd, termios& settings) {
    if (int error = sysTcgetattr(fd, settings)) {
        // Not a terminal: there is no serial port by that name.
        return (error == ENOTTY || error == EINVAL) ? ERROR_FILE_NOT_FOUND : win32FromErrno(error);
    }
    if (int error = sysFlock(fd, LOCK_EX | LOCK_NB)) return win32FromErrno(error);
    if (int error = sysIoctl(fd, TIOCEXCL, nullptr)) return win32FromErrno(error);
    int error = sysTcsetattr(fd, rawTermios(settings));
    if (error == 0) error = sysTcgetattr(fd, settings);
    if (error == 0) return ERROR_SUCCESS;
    // Only our own TIOCEXCL may be cleared: a refusal above may come from another owner's.
    sysIoctl(fd, TIOCNXCL, nullptr);
    return win32FromErrno(error);
}

}  // namespace

DWORD openExclusiveDevice(const std::string& path, int& fd, termios& settings) {
    if (int error = sysOpen(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, fd)) {
        return win32FromErrno(error);
    }
    DWORD refusal = claim(fd, settings);
    if (refusal != ERROR_SUCCESS) {
        // Closing also drops the flock this descriptor may hold.
        sysClose(fd);
        fd = -1;
    }
    return refusal;
}

bool isPseudoTerminal(const std::string& path) {
    // Unix98 pty slaves use the character-device majors 136 to 143.
    struct stat info {};
    if (sysStat(path.c_str(), info) != 0 || !S_ISCHR(info.st_mode)) return false;
    unsigned int deviceMajor = major(info.st_rdev);
    return deviceMajor >= 136 && deviceMajor <= 143;
}

void releaseExclusiveDevice(int fd) {
    // Failures are of no use here: a device that went away has nothing left to release.
    sysIoctl(fd, TIOCNXCL, nullptr);
    sysFlock(fd, LOCK_UN);
    sysClose(fd);
}
