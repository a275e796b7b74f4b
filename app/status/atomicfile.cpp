#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

// 0, or the errno of the step that failed.
int replace(const std::string& path, const std::string& text) {
    const std::string fresh = path + ".new";
    const int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int error = fchmod(fd, 0644) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n >= 0)
            done += static_cast<std::size_t>(n);
        else if (errno != EINTR)
            error = errno;
    }
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(fresh.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) unlink(fresh.c_str());
    return error;
}

}  // namespace

void AtomicFile::write(const std::string& text) {
    const int error = replace(path_, text);
    if (error != 0 && !failing_)
        std::cerr << "motelog: cannot write the " + what_ + " " + path_ + ": " +
                         std::strerror(error) + "\n";
    failing_ = error != 0;
}
