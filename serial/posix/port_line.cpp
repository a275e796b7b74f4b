// Line events, line errors, modem lines and break of a port.
#include "errno_map.h"
#include "line_status_map.h"
#include "port.h"
#include "sys_calls.h"
#include "sys_ioctl.h"

#include <sys/ioctl.h>

#include <cstring>

namespace {

constexpr DWORD kModemLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD kCounterEvents = EV_BREAK | EV_ERR;
constexpr DWORD kKnownEvents = 0x1FFF;

}  // namespace

void Port::raiseEvents(DWORD events) {
    events &= mask_;
    if (events == 0) return;
    pendingEvents_ |= events;
    if (!wait_) return;
    endWait(ERROR_SUCCESS, pendingEvents_);
    pendingEvents_ = 0;
}

bool Port::readCounters(serial_icounter_struct& counters) {
    if (sysIoctl(fd_, TIOCGICOUNT, &counters) == 0) return true;
    // A device without counters (a pty) never gets them; stop asking.
    countersSupported_ = false;
    return false;
}

void Port::sampleLineState(bool report) {
    DWORD events = 0;
    int lines = 0;
    if (modemSupported_) {
        if (sysIoctl(fd_, TIOCMGET, &lines) == 0) {
            events |= eventsFromLineChange(modemLines_, lines);
            modemLines_ = lines;
        } else {
            modemSupported_ = false;
        }
    }
    serial_icounter_struct counters{};
    if (countersSupported_ && readCounters(counters)) {
        events |= eventsFromCounters(eventCounters_, counters);
        eventCounters_ = counters;
    }
    if (report) raiseEvents(events);
}

bool Port::needsLineSampling() const {
    if (!wait_ || goneError_) return false;
    return (modemSupported_ && (mask_ & kModemLineEvents)) ||
           (countersSupported_ && (mask_ & kCounterEvents));
}

DWORD Port::setMask(DWORD mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    if (mask & ~kKnownEvents) return ERROR_INVALID_PARAMETER;
    mask_ = mask;
    pendingEvents_ = 0;
    // Changes from before the new mask are not reported under it.
    if (!goneError_) sampleLineState(false);
    endWait(ERROR_SUCCESS, 0);
    wake();
    return ERROR_SUCCESS;
}

DWORD Port::getMask(DWORD& mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    mask = mask_;
    return ERROR_SUCCESS;
}

DWORD Port::setBreak(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    return win32FromErrno(sysIoctl(fd_, on ? TIOCSBRK : TIOCCBRK, nullptr));
}

DWORD Port::clearErrors(DWORD& errors, COMSTAT* stat) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    errors = 0;
    serial_icounter_struct counters{};
    if (countersSupported_ && readCounters(counters)) {
        errors = errorsFromCounters(errorCounters_, counters);
        errorCounters_ = counters;
    }
    if (stat == nullptr) return ERROR_SUCCESS;
    std::memset(stat, 0, sizeof *stat);
    // Bytes the kernel holds that the engine has not moved yet count as queued too.
    int inKernel = 0;
    int outKernel = 0;
    if (!goneError_) {
        sysIoctl(fd_, TIOCINQ, &inKernel);
        sysIoctl(fd_, TIOCOUTQ, &outKernel);
    }
    DWORD outPending = 0;
    for (const IoRequest& write : writes_) outPending += write.size - write.done;
    stat->cbInQue = static_cast<DWORD>(input_.size()) + static_cast<DWORD>(inKernel);
    stat->cbOutQue = outPending + static_cast<DWORD>(outKernel);
    return ERROR_SUCCESS;
}

DWORD Port::modemStatus(DWORD& status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    int lines = 0;
    if (int error = sysIoctl(fd_, TIOCMGET, &lines)) return win32FromErrno(error);
    status = modemStatusFromLines(lines);
    return ERROR_SUCCESS;
}
