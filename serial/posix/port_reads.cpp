// The receive side of a port: draining the device into the input queue and handing
// queued bytes to pending reads in the order they were started.
#include "errno_map.h"
#include "port.h"
#include "sys_calls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

void Port::handleDevice(short revents, Clock::time_point now) {
    if (revents & POLLIN) drainDevice(now);
    if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // Keep what the device still holds, then stop using it.
        drainDevice(now);
        markGone(ERROR_DEVICE_NOT_CONNECTED, now);
    }
}

void Port::drainDevice(Clock::time_point now) {
    std::uint8_t chunk[1024];
    while (!goneError_ && input_.freeSpace() > 0) {
        IoResult result = readSome(fd_, chunk, std::min(sizeof chunk, input_.freeSpace()));
        if (result.outcome == IoOutcome::Moved) {
            acceptBytes(chunk, result.bytes);
        } else if (result.outcome == IoOutcome::WouldBlock) {
            return;
        } else {
            // End of file or EIO on a tty: the line was hung up (an unplugged adapter,
            // a closed pty master).
            bool hungUp = result.outcome == IoOutcome::EndOfFile || result.error == EIO;
            markGone(hungUp ? ERROR_DEVICE_NOT_CONNECTED : win32FromErrno(result.error), now);
        }
    }
}

void Port::acceptBytes(const std::uint8_t* bytes, std::size_t count) {
    input_.push(bytes, count);
    DWORD events = EV_RXCHAR;
    if (std::memchr(bytes, static_cast<std::uint8_t>(dcb_.EvtChar), count)) events |= EV_RXFLAG;
    if (input_.size() * 5 >= input_.capacity() * 4) events |= EV_RX80FULL;
    raiseEvents(events);
}

void Port::markGone(DWORD error, Clock::time_point now) {
    if (goneError_) return;
    goneError_ = error;
    serveReads(now);
    abortQueue(writes_, error);
    endWait(error, 0);
    txEmptyPending_ = false;
}

void Port::serveReads(Clock::time_point now) {
    while (!reads_.empty()) {
        IoRequest& read = reads_.front();
        if (!read.started) {
            read.started = true;
            if (read.plan.total) read.deadline = now + *read.plan.total;
        }
        if (read.done < read.size && !input_.empty()) {
            read.done += static_cast<DWORD>(input_.pop(read.readBuffer + read.done, read.size - read.done));
            read.lastByte = now;
        }
        if (!goneError_ && !readFinished(read, now)) return;
        // Once the device is gone nothing more will come: hand over what there is, or
        // report why not, also to a read that would have returned at once anyway.
        complete(read, goneError_ && read.done == 0 ? goneError_ : ERROR_SUCCESS);
        reads_.pop_front();
    }
}

bool Port::readFinished(const IoRequest& read, Clock::time_point now) const {
    if (read.done == read.size) return true;
    bool timedOut = read.deadline && now >= *read.deadline;
    switch (read.plan.style) {
        case ReadStyle::Immediate: return true;
        case ReadStyle::FirstByte: return read.done > 0 || timedOut;
        case ReadStyle::Counted: break;
    }
    bool pausedTooLong = read.plan.interval && read.lastByte && now - *read.lastByte >= *read.plan.interval;
    return timedOut || pausedTooLong;
}
