// Line settings and time-outs of a port.
#include "comm_timeouts.h"
#include "custom_baud.h"
#include "dcb_termios.h"
#include "errno_map.h"
#include "port.h"
#include "sys_calls.h"
#include "sys_ioctl.h"

#include <sys/ioctl.h>

#include <cerrno>

namespace {

// Larger input queues are refused rather than risking the memory.
constexpr DWORD kLargestInputQueue = 1u << 24;

bool isStandardRate(DWORD rate) { return standardSpeedCode(rate) != B0; }

// Whether a failed modem-line ioctl only means the device has no such lines (a pty).
bool linesUnsupported(int error) { return error == ENOTTY || error == EINVAL || error == EOPNOTSUPP; }

}  // namespace

DWORD Port::getState(DCB& dcb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    dcb = dcb_;
    return ERROR_SUCCESS;
}

DWORD Port::setState(const DCB& wanted) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    if (DWORD invalid = validateDcb(wanted)) return invalid;
    termios current{};
    if (int error = sysTcgetattr(fd_, current)) return win32FromErrno(error);
    termios next = termiosFromDcb(current, wanted);
    // A pseudo-terminal drops parity and character size, and the C library reports that
    // as a refusal; there the DCB alone keeps them, so every setting still reads back.
    if (frameless_) next = withFramingOf(next, current);
    if (!sameTermios(current, next) && sysTcsetattr(fd_, next) != 0) {
        // The kernel may have taken part of the record before refusing the rest.
        restoreSettings(current);
        return ERROR_INVALID_PARAMETER;
    }
    if (!isStandardRate(wanted.BaudRate)) {
        unsigned rate = 0;
        bool alreadySet = readCustomRate(fd_, rate) == 0 && rate == wanted.BaudRate;
        if (!alreadySet && setCustomRate(fd_, wanted.BaudRate) != 0) {
            restoreSettings(current);
            return ERROR_INVALID_PARAMETER;
        }
    }
    if (DWORD refused = applyControlLines(wanted)) {
        restoreSettings(current);
        return refused;
    }
    dcb_ = wanted;
    dcb_.DCBlength = sizeof(DCB);
    return ERROR_SUCCESS;
}

void Port::restoreSettings(const termios& settings) {
    sysTcsetattr(fd_, settings);
    if (!isStandardRate(dcb_.BaudRate)) setCustomRate(fd_, dcb_.BaudRate);
}

DWORD Port::applyControlLines(const DCB& wanted) {
    auto drive = [this](int line, bool on) {
        int error = sysIoctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
        return linesUnsupported(error) ? 0 : error;
    };
    int error = 0;
    bool dtrManual = wanted.fDtrControl == DTR_CONTROL_ENABLE || wanted.fDtrControl == DTR_CONTROL_DISABLE;
    if (dtrManual && wanted.fDtrControl != dcb_.fDtrControl) {
        error = drive(TIOCM_DTR, wanted.fDtrControl == DTR_CONTROL_ENABLE);
    }
    bool rtsManual = wanted.fRtsControl == RTS_CONTROL_ENABLE || wanted.fRtsControl == RTS_CONTROL_DISABLE;
    if (error == 0 && rtsManual && wanted.fRtsControl != dcb_.fRtsControl) {
        error = drive(TIOCM_RTS, wanted.fRtsControl == RTS_CONTROL_ENABLE);
    }
    return error == 0 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

DWORD Port::getTimeouts(COMMTIMEOUTS& timeouts) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    timeouts = timeouts_;
    return ERROR_SUCCESS;
}

DWORD Port::setTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    if (DWORD invalid = validateTimeouts(timeouts)) return invalid;
    timeouts_ = timeouts;
    return ERROR_SUCCESS;
}

DWORD Port::setupQueues(DWORD inQueue, DWORD) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    if (inQueue > kLargestInputQueue) return ERROR_INVALID_PARAMETER;
    if (inQueue != 0) input_.resize(inQueue);
    wake();
    return ERROR_SUCCESS;
}
