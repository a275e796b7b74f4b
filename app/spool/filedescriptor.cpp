#include "filedescriptor.h"

#include <cerrno>
#include <system_error>

#include "spoolfilecalls.h"

std::vector<std::uint8_t> readwhole(int fd, const std::string& path) {
    std::vector<std::uint8_t> content;
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t got = spoolfilecalls().read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::system_error(errno, std::generic_category(), "cannot read " + path);
        if (got == 0) return content;
        content.insert(content.end(), chunk, chunk + got);
    }
}

std::size_t readat(int fd, std::vector<std::uint8_t>& bytes, std::uint64_t offset, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = spoolfilecalls().pread(fd, bytes.data() + done, bytes.size() - done,
                                                   static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::system_error(errno, std::generic_category(), "cannot read " + path);
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

int writeat(int fd, const void* data, std::size_t size, std::uint64_t offset) {
    const ssize_t written = spoolfilecalls().pwrite(fd, data, size, static_cast<off_t>(offset));
    if (written < 0) return errno;
    return static_cast<std::size_t>(written) == size ? 0 : ENOSPC;
}

int syncdata(int fd) {
    while (spoolfilecalls().fdatasync(fd) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}
