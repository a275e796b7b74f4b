#include "fake_kernel.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace {

FakeKernel* gFake = nullptr;
SysCalls gTable;

bool isDevice(int fd) { return gFake && fd == gFake->deviceFd.load(); }

// Every other call on the device is interrupted when that is switched on.
bool interruptNow() {
    static std::atomic<unsigned> calls{0};
    if (!gFake->interruptEveryOtherCall || calls.fetch_add(1) % 2 != 0) return false;
    gFake->interruptions.fetch_add(1);
    errno = EINTR;
    return true;
}

int failWith(int error) {
    errno = error;
    return -1;
}

int fakeOpen(const char* path, int flags) {
    if (int error = gFake->openError.load()) return failWith(error);
    int fd = realSysCalls().open(path, flags);
    gFake->deviceFd = fd;
    return fd;
}

ssize_t fakeRead(int fd, void* buffer, std::size_t count) {
    if (isDevice(fd)) {
        if (interruptNow()) return -1;
        if (int error = gFake->readError.load()) return failWith(error);
    }
    return realSysCalls().read(fd, buffer, count);
}

ssize_t fakeWrite(int fd, const void* buffer, std::size_t count) {
    if (isDevice(fd)) {
        if (interruptNow()) return -1;
        std::size_t limit = gFake->writeLimit.load();
        if (limit != 0 && count > limit) count = limit;
    }
    return realSysCalls().write(fd, buffer, count);
}

int fakePoll(pollfd* fds, nfds_t count, int timeoutMs) {
    if (count > 1 && isDevice(fds[1].fd) && interruptNow()) return -1;
    return realSysCalls().poll(fds, count, timeoutMs);
}

int fakeIoctl(int fd, unsigned long request, void* argument) {
    if (!isDevice(fd)) return realSysCalls().ioctl(fd, request, argument);
    if (interruptNow()) return -1;
    if (request == TIOCMGET && gFake->hasModemLines) {
        *static_cast<int*>(argument) = gFake->modemLines.load();
        return 0;
    }
    if ((request == TIOCMBIS || request == TIOCMBIC)) {
        if (int error = gFake->lineControlError.load()) return failWith(error);
    }
    if (request == TIOCGICOUNT && gFake->hasCounters) {
        std::lock_guard<std::mutex> lock(gFake->countersMutex);
        std::memcpy(argument, &gFake->counters, sizeof gFake->counters);
        return 0;
    }
    return realSysCalls().ioctl(fd, request, argument);
}

int fakeFlock(int fd, int operation) {
    if (isDevice(fd)) {
        if (int error = gFake->flockError.load()) return failWith(error);
    }
    return realSysCalls().flock(fd, operation);
}

int fakeTcsetattr(int fd, int when, const termios* settings) {
    if (isDevice(fd)) {
        gFake->tcsetattrCalls.fetch_add(1);
        if (int error = gFake->tcsetattrError.load()) return failWith(error);
    }
    return realSysCalls().tcsetattr(fd, when, settings);
}

}  // namespace

FakeKernel::FakeKernel() {
    gFake = this;
    gTable = realSysCalls();
    gTable.open = fakeOpen;
    gTable.read = fakeRead;
    gTable.write = fakeWrite;
    gTable.poll = fakePoll;
    gTable.ioctl = fakeIoctl;
    gTable.flock = fakeFlock;
    gTable.tcsetattr = fakeTcsetattr;
    replaceSysCalls(&gTable);
}

FakeKernel::~FakeKernel() {
    replaceSysCalls(nullptr);
    gFake = nullptr;
}
