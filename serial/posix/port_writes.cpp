// The transmit side of a port: pending writes go to the device in the order they were
// started, straight from the callers' buffers.
#include "errno_map.h"
#include "port.h"
#include "sys_calls.h"
#include "sys_ioctl.h"

#include <sys/ioctl.h>

#include <cerrno>

void Port::progressWrites(Clock::time_point now) {
    while (!writes_.empty()) {
        IoRequest& write = writes_.front();
        if (!write.started) {
            write.started = true;
            if (write.writeLimit) write.deadline = now + *write.writeLimit;
        }
        DWORD outcome = ERROR_IO_PENDING;
        if (goneError_) {
            outcome = goneError_;
        } else {
            IoResult result = writeSome(fd_, write.writeBuffer + write.done, write.size - write.done);
            if (result.outcome == IoOutcome::Moved) {
                write.done += static_cast<DWORD>(result.bytes);
                if (write.done < write.size) continue;
                outcome = ERROR_SUCCESS;
            } else if (result.outcome == IoOutcome::WouldBlock) {
                // A write time-out completes the write with the bytes sent so far.
                if (write.deadline && now >= *write.deadline) outcome = ERROR_SUCCESS;
            } else {
                outcome = result.error == EIO ? ERROR_DEVICE_NOT_CONNECTED : win32FromErrno(result.error);
            }
        }
        if (outcome == ERROR_IO_PENDING) return;
        if (outcome == ERROR_SUCCESS) txEmptyPending_ = true;
        complete(write, outcome);
        writes_.pop_front();
    }
}

void Port::checkTxEmpty() {
    if (!txEmptyPending_ || !writes_.empty()) return;
    int queued = 0;
    // A device that cannot tell its output queue is taken to have sent everything.
    if (sysIoctl(fd_, TIOCOUTQ, &queued) != 0 || queued == 0) {
        txEmptyPending_ = false;
        raiseEvents(EV_TXEMPTY);
    }
}
