#include "sys_calls.h"

#include "sys_ioctl.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

const SysCalls kRealCalls = {
    [](const char* path, int flags) { return ::open(path, flags); },
    ::close,
    ::read,
    ::write,
    ::poll,
    [](int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); },
    ::flock,
    ::tcgetattr,
    [](int fd, int when, const termios* settings) { return ::tcsetattr(fd, when, settings); },
    ::tcflush,
    [](const char* path, struct stat* info) { return ::stat(path, info); },
    [](unsigned initialValue, int flags) { return ::eventfd(initialValue, flags); },
};

// A pointer swap, so a test may replace the table while port engines are running.
std::atomic<const SysCalls*> gCalls{&kRealCalls};

// Runs `call` (returning -1 with errno on failure) until it is not interrupted.
template <typename Call>
int retryInterrupted(Call call) {
    for (;;) {
        if (call() != -1) return 0;
        if (errno != EINTR) return errno;
    }
}

IoResult classify(ssize_t moved, int error) {
    if (moved > 0) return {IoOutcome::Moved, static_cast<std::size_t>(moved), 0};
    if (moved == 0) return {IoOutcome::EndOfFile, 0, 0};
    if (error == EAGAIN || error == EWOULDBLOCK) return {IoOutcome::WouldBlock, 0, 0};
    return {IoOutcome::Failed, 0, error};
}

}  // namespace

const SysCalls& sysCalls() { return *gCalls.load(std::memory_order_acquire); }
const SysCalls& realSysCalls() { return kRealCalls; }
void replaceSysCalls(const SysCalls* table) {
    gCalls.store(table ? table : &kRealCalls, std::memory_order_release);
}

IoResult readSome(int fd, void* buffer, std::size_t count) {
    for (;;) {
        ssize_t moved = sysCalls().read(fd, buffer, count);
        if (moved < 0 && errno == EINTR) continue;
        return classify(moved, moved < 0 ? errno : 0);
    }
}

IoResult writeSome(int fd, const void* buffer, std::size_t count) {
    if (count == 0) return {IoOutcome::Moved, 0, 0};
    for (;;) {
        ssize_t moved = sysCalls().write(fd, buffer, count);
        if (moved < 0 && errno == EINTR) continue;
        // A write of 0 bytes out of many is "try again", not an end of file.
        if (moved == 0) return {IoOutcome::WouldBlock, 0, 0};
        return classify(moved, moved < 0 ? errno : 0);
    }
}

int sysOpen(const char* path, int flags, int& fd) {
    return retryInterrupted([&] { return fd = sysCalls().open(path, flags); });
}

// close() is not retried on EINTR: on Linux the descriptor is gone either way.
int sysClose(int fd) { return sysCalls().close(fd) == 0 ? 0 : errno; }

int sysPoll(pollfd* fds, nfds_t count, int timeoutMs, int& ready) {
    ready = sysCalls().poll(fds, count, timeoutMs);
    if (ready >= 0) return 0;
    ready = 0;
    // An interrupted poll is reported as "nothing ready": callers loop and recompute
    // their time-outs anyway.
    return errno == EINTR ? 0 : errno;
}

int sysIoctl(int fd, unsigned long request, void* argument) {
    return retryInterrupted([&] { return sysCalls().ioctl(fd, request, argument); });
}

int sysFlock(int fd, int operation) {
    return retryInterrupted([&] { return sysCalls().flock(fd, operation); });
}

int sysTcgetattr(int fd, termios& settings) {
    return retryInterrupted([&] { return sysCalls().tcgetattr(fd, &settings); });
}

int sysTcsetattr(int fd, const termios& settings) {
    return retryInterrupted([&] { return sysCalls().tcsetattr(fd, TCSANOW, &settings); });
}

int sysTcflush(int fd, int queue) {
    return retryInterrupted([&] { return sysCalls().tcflush(fd, queue); });
}

int sysStat(const char* path, struct stat& info) {
    return retryInterrupted([&] { return sysCalls().stat(path, &info); });
}

int sysEventfd(int& fd) {
    return retryInterrupted(
        [&] { return fd = sysCalls().eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); });
}
