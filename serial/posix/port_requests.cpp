// Starting, completing and cancelling the operations of a port.
#include "errno_map.h"
#include "overlapped_status.h"
#include "port.h"
#include "sys_calls.h"

#include <cerrno>

void Port::beginRecord(const IoRequest& request) {
    if (request.event) request.event->reset();
    publishOutcome(*request.record, STATUS_PENDING, 0);
}

void Port::complete(IoRequest& request, DWORD error) {
    DWORD count = request.kind == IoRequest::Kind::WaitEvent ? 0 : request.done;
    publishOutcome(*request.record, statusFromError(error), count);
    if (request.event) request.event->set();
    completed_.notify_all();
}

void Port::completeWait(IoRequest& request, DWORD error, DWORD events) {
    if (request.eventsOut) *request.eventsOut = events;
    complete(request, error);
}

void Port::endWait(DWORD error, DWORD events) {
    if (!wait_) return;
    completeWait(*wait_, error, events);
    wait_.reset();
}

template <typename Pred>
void Port::abortWhere(std::deque<IoRequest>& queue, Pred pred, DWORD error) {
    std::deque<IoRequest> kept;
    for (IoRequest& request : queue) {
        if (pred(request)) {
            complete(request, error);
        } else {
            kept.push_back(std::move(request));
        }
    }
    queue.swap(kept);
}

void Port::abortQueue(std::deque<IoRequest>& queue, DWORD error) {
    for (IoRequest& request : queue) complete(request, error);
    queue.clear();
}

void Port::abortAll(DWORD error) {
    abortQueue(reads_, error);
    abortQueue(writes_, error);
    endWait(error, 0);
}

DWORD Port::outcomeOf(const OVERLAPPED& record, DWORD& count) const {
    ULONG_PTR status = loadStatus(record);
    if (status == STATUS_PENDING) return ERROR_IO_PENDING;
    count = static_cast<DWORD>(record.InternalHigh);
    return errorFromStatus(status);
}

DWORD Port::startRead(IoRequest request, DWORD& count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    request.plan = planRead(timeouts_, request.size);
    const OVERLAPPED& record = *request.record;
    beginRecord(request);
    if (request.size == 0) {
        complete(request, ERROR_SUCCESS);
        return outcomeOf(record, count);
    }
    Clock::time_point now = Clock::now();
    // What the device already holds counts as queued for a read that returns at once.
    drainDevice(now);
    reads_.push_back(std::move(request));
    serveReads(now);
    DWORD outcome = outcomeOf(record, count);
    if (outcome == ERROR_IO_PENDING) wake();
    return outcome;
}

DWORD Port::startWrite(IoRequest request, DWORD& count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    request.writeLimit = writeTimeLimit(timeouts_, request.size);
    const OVERLAPPED& record = *request.record;
    beginRecord(request);
    if (goneError_) {
        complete(request, goneError_);
    } else if (request.size == 0) {
        complete(request, ERROR_SUCCESS);
    } else {
        writes_.push_back(std::move(request));
        progressWrites(Clock::now());
        checkTxEmpty();
    }
    DWORD outcome = outcomeOf(record, count);
    if (outcome == ERROR_IO_PENDING || txEmptyPending_) wake();
    return outcome;
}

DWORD Port::startWaitEvent(IoRequest request) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    // Without a mask nothing could end the wait; one wait at a time, as on Win32.
    if (mask_ == 0 || wait_) return ERROR_INVALID_PARAMETER;
    beginRecord(request);
    if (goneError_) {
        completeWait(request, goneError_, 0);
        return goneError_;
    }
    sampleLineState(true);
    if (pendingEvents_ != 0) {
        completeWait(request, ERROR_SUCCESS, pendingEvents_);
        pendingEvents_ = 0;
        return ERROR_SUCCESS;
    }
    wait_ = std::move(request);
    wake();
    return ERROR_IO_PENDING;
}

void Port::awaitCompletion(const OVERLAPPED& record) {
    std::unique_lock<std::mutex> lock(mutex_);
    completed_.wait(lock, [&record] { return loadStatus(record) != STATUS_PENDING; });
}

DWORD Port::cancelThreadIo(std::thread::id owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    auto ownedByCaller = [owner](const IoRequest& request) { return request.owner == owner; };
    abortWhere(reads_, ownedByCaller, ERROR_OPERATION_ABORTED);
    abortWhere(writes_, ownedByCaller, ERROR_OPERATION_ABORTED);
    if (wait_ && wait_->owner == owner) endWait(ERROR_OPERATION_ABORTED, 0);
    // Whatever other threads queued behind the cancelled requests moves up now.
    Clock::time_point now = Clock::now();
    serveReads(now);
    progressWrites(now);
    wake();
    return ERROR_SUCCESS;
}

DWORD Port::purge(DWORD flags) {
    constexpr DWORD kKnownFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return ERROR_INVALID_HANDLE;
    if (flags & ~kKnownFlags) return ERROR_INVALID_PARAMETER;
    if (flags & PURGE_TXABORT) abortQueue(writes_, ERROR_OPERATION_ABORTED);
    if (flags & PURGE_RXABORT) abortQueue(reads_, ERROR_OPERATION_ABORTED);
    if (flags & PURGE_TXCLEAR) {
        if (int error = sysTcflush(fd_, TCOFLUSH)) return win32FromErrno(error);
    }
    if (flags & PURGE_RXCLEAR) {
        if (int error = sysTcflush(fd_, TCIFLUSH)) return win32FromErrno(error);
        input_.clear();
    }
    wake();
    return ERROR_SUCCESS;
}
