// One motelog per spool directory: an exclusive lock on DIR/lock, held while the process
// lives and released by the system when it ends, however it ends.
#pragma once

#include <stdexcept>
#include <string>

class SpoolLock {
public:
    // Takes the lock without waiting. Throws SpoolInUse when another process holds it,
    // std::system_error naming the file when it cannot be taken for another reason.
    explicit SpoolLock(const std::string& dir);
    ~SpoolLock();

    SpoolLock(const SpoolLock&) = delete;
    SpoolLock& operator=(const SpoolLock&) = delete;

private:
    int fd_;
};

struct SpoolInUse : std::runtime_error {
    using std::runtime_error::runtime_error;
};
