#include "spoolnonce.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "filedescriptor.h"

namespace {

std::system_error failure(const std::string& what, const std::string& path) {
    return std::system_error(errno, std::generic_category(), what + " " + path);
}

}  // namespace

StationId spoolnonce(const std::string& dir) {
    const std::string path = dir + "/station";
    StationId nonce{};
    {
        const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() >= 0) {
            const std::vector<std::uint8_t> content = readwhole(fd.get(), path);
            if (content.size() == nonce.size()) {
                std::copy(content.begin(), content.end(), nonce.begin());
                if (!isnone(nonce)) return nonce;
            }
        }
    }
    nonce = randomstationid();
    const std::string fresh = path + ".new";
    {
        const FileDescriptor fd(
            open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (fd.get() < 0) throw failure("cannot create", fresh);
        if (const int error = writeat(fd.get(), nonce.data(), nonce.size(), 0)) {
            errno = error;
            throw failure("cannot write", fresh);
        }
        if (fdatasync(fd.get()) != 0) throw failure("cannot sync", fresh);
    }
    if (rename(fresh.c_str(), path.c_str()) != 0) throw failure("cannot rename", fresh);
    const FileDescriptor directory(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0 || fsync(directory.get()) != 0) throw failure("cannot sync", dir);
    return nonce;
}
