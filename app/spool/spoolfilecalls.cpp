#include "spoolfilecalls.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace {

const SpoolFileCalls RealCalls = {
    [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
    ::read,
    ::pread,
    ::pwrite,
    ::fdatasync,
    ::ftruncate,
    ::unlink,
};

// A pointer swap, so a test may replace the table while the store thread runs.
std::atomic<const SpoolFileCalls*> calls{&RealCalls};

}  // namespace

const SpoolFileCalls& spoolfilecalls() { return *calls.load(); }

const SpoolFileCalls& realspoolfilecalls() { return RealCalls; }

void replacespoolfilecalls(const SpoolFileCalls* table) { calls.store(table ? table : &RealCalls); }
