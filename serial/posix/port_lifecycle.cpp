// Opening a port, its engine thread, and closing it.
#include "custom_baud.h"
#include "dcb_termios.h"
#include "errno_map.h"
#include "port.h"
#include "port_device.h"
#include "sys_calls.h"
#include "sys_ioctl.h"

#include <sys/ioctl.h>

#include <cstdint>
#include <limits>
#include <new>
#include <system_error>

namespace {

// The size of the input queue until SetupComm changes it, like a UART driver's buffer.
constexpr std::size_t kDefaultInputQueue = 4096;
// How often the engine looks at modem lines, counters or the output queue while
// something waits for them to change.
constexpr int kLinePollMs = 10;

// The rate the device runs at: its speed code, or the termios2 rate for BOTHER.
DWORD currentRate(int fd, const termios& settings) {
    if (DWORD rate = rateOfSpeedCode(cfgetospeed(&settings))) return rate;
    unsigned rate = 0;
    if (readCustomRate(fd, rate) == 0 && rate != 0) return rate;
    return defaultDcb().BaudRate;
}

}  // namespace

DWORD Port::open(const std::string& path, bool overlapped, std::shared_ptr<Port>& port) {
    int fd = -1;
    termios settings{};
    if (DWORD refusal = openExclusiveDevice(path, fd, settings)) return refusal;
    int wakeFd = -1;
    if (int error = sysEventfd(wakeFd)) {
        releaseExclusiveDevice(fd);
        return win32FromErrno(error);
    }
    try {
        port.reset(new Port(fd, wakeFd, overlapped, dcbFromTermios(settings, currentRate(fd, settings))));
        port->frameless_ = isPseudoTerminal(path);
    } catch (const std::bad_alloc&) {
        sysClose(wakeFd);
        releaseExclusiveDevice(fd);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    try {
        port->engine_ = std::thread(&Port::runEngine, port.get());
    } catch (const std::system_error&) {
        port.reset();  // the destructor releases the device
        return ERROR_NO_SYSTEM_RESOURCES;
    }
    return ERROR_SUCCESS;
}

Port::Port(int fd, int wakeFd, bool overlapped, const DCB& dcb)
    : fd_(fd), wakeFd_(wakeFd), overlapped_(overlapped), dcb_(dcb), input_(kDefaultInputQueue) {
    modemSupported_ = sysIoctl(fd_, TIOCMGET, &modemLines_) == 0;
    countersSupported_ = readCounters(eventCounters_);
    errorCounters_ = eventCounters_;
}

Port::~Port() { shutdown(); }

void Port::onHandleClosed() { shutdown(); }

void Port::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        closed_ = true;
        abortAll(ERROR_OPERATION_ABORTED);
    }
    wake();
    if (engine_.joinable()) engine_.join();
    releaseExclusiveDevice(fd_);
    sysClose(wakeFd_);
}

void Port::wake() {
    std::uint64_t one = 1;
    writeSome(wakeFd_, &one, sizeof one);
}

void Port::drainWake() {
    std::uint64_t count = 0;
    readSome(wakeFd_, &count, sizeof count);
}

void Port::runEngine() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!closed_) {
        // Once the device is gone only wake-ups are watched, so a hung-up descriptor
        // that stays "ready" cannot make this loop spin.
        pollfd watched[2] = {{wakeFd_, POLLIN, 0},
                             {goneError_ ? -1 : fd_, deviceInterest(), 0}};
        int timeoutMs = msUntilNextCheck(Clock::now());
        lock.unlock();
        int ready = 0;
        int error = sysPoll(watched, 2, timeoutMs, ready);
        if (error != 0) {
            // poll itself failed (out of memory): back off instead of spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(kLinePollMs));
        }
        lock.lock();
        if (closed_) break;
        Clock::time_point now = Clock::now();
        if (watched[0].revents & POLLIN) drainWake();
        handleDevice(watched[1].revents, now);
        serveReads(now);
        progressWrites(now);
        checkTxEmpty();
        if (needsLineSampling()) sampleLineState(true);
    }
}

short Port::deviceInterest() const {
    short events = 0;
    // A full input queue stops draining, so the kernel's flow control takes over.
    if (input_.freeSpace() > 0) events |= POLLIN;
    if (!writes_.empty()) events |= POLLOUT;
    return events;
}

int Port::msUntilNextCheck(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    auto consider = [&next](Clock::time_point when) {
        if (!next || when < *next) next = when;
    };
    if (!reads_.empty()) {
        const IoRequest& read = reads_.front();
        if (read.deadline) consider(*read.deadline);
        if (read.plan.interval && read.lastByte) consider(*read.lastByte + *read.plan.interval);
    }
    if (!writes_.empty() && writes_.front().deadline) consider(*writes_.front().deadline);
    bool txEmptyDue = txEmptyPending_ && writes_.empty() && !goneError_;
    if (txEmptyDue || needsLineSampling()) consider(now + std::chrono::milliseconds(kLinePollMs));
    if (!next) return -1;
    if (*next <= now) return 0;
    // Round up, so the check does not run a little early and wait again.
    auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return waitMs > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                     : static_cast<int>(waitMs);
}
