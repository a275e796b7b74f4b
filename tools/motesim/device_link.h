// A stable name for the simulator's pty, as udev gives a USB adapter one under
// /dev/serial/by-id/: a run started later takes the name over.
#pragma once

#include <string>

namespace motesim {

// Makes `link` a symbolic link to `target`, replacing whatever `link` was in one step,
// so that a reader of the name never finds it missing. Throws std::system_error.
void pointLink(const std::string& link, const std::string& target);

}  // namespace motesim
