#include "spoollock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

SpoolLock::SpoolLock(const std::string& dir) {
    const std::string path = dir + "/lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot open " + path);
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    const int error = errno;
    close(fd_);
    if (error == EWOULDBLOCK)
        throw SpoolInUse("the spool directory " + dir + " is in use by another motelog");
    throw std::system_error(error, std::generic_category(), "cannot lock " + path);
}

SpoolLock::~SpoolLock() { close(fd_); }
