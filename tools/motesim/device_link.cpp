#include "device_link.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace motesim {

void pointLink(const std::string& link, const std::string& target) {
    // Made beside the link, so that the rename stays within one file system.
    const std::string fresh = link + ".motesim-" + std::to_string(getpid());
    if (symlink(target.c_str(), fresh.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "creating the link " + fresh);
    if (std::rename(fresh.c_str(), link.c_str()) != 0) {
        const int error = errno;
        std::remove(fresh.c_str());
        throw std::system_error(error, std::generic_category(), "pointing " + link + " at " + target);
    }
}

}  // namespace motesim
