// An open serial port: the device, its settings as the Win32 API sees them, its input
// queue and the operations in progress. A per-port engine thread moves bytes between
// the device and the queue, completes pending operations and detects line events.
// Every member function locks the port; the engine only touches a caller's record or
// buffer with that lock held, so whatever a call removes from the port under the lock
// is never written again.
#pragma once

#include "byte_ring.h"
#include "comm_api.h"
#include "io_request.h"
#include "kernel_object.h"

#include <linux/serial.h>
#include <termios.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class Port : public KernelObject {
public:
    // Opens the device at `path` exclusively and starts its engine. `overlapped` false
    // makes every operation synchronous. Returns ERROR_SUCCESS with `port` set, or the
    // Win32 code of the failure.
    static DWORD open(const std::string& path, bool overlapped, std::shared_ptr<Port>& port);

    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    ~Port() override;

    // Aborts everything in progress, stops the engine and releases the device.
    void onHandleClosed() override;

    bool overlapped() const { return overlapped_; }

    // Settings. Each returns ERROR_SUCCESS or the Win32 code of the failure.
    DWORD getState(DCB& dcb);
    // Applies the whole record, or changes nothing (ERROR_INVALID_PARAMETER).
    DWORD setState(const DCB& dcb);
    DWORD getTimeouts(COMMTIMEOUTS& timeouts);
    DWORD setTimeouts(const COMMTIMEOUTS& timeouts);
    // Input queue size in bytes (0 keeps the present one); the output side needs no queue.
    DWORD setupQueues(DWORD inQueue, DWORD outQueue);
    DWORD setMask(DWORD mask);
    DWORD getMask(DWORD& mask);

    // Operations. Each returns ERROR_SUCCESS when completed at once (`count` holds the
    // bytes moved), ERROR_IO_PENDING when in progress, or the failure's code; the
    // request's record holds the outcome as soon as there is one.
    DWORD startRead(IoRequest request, DWORD& count);
    DWORD startWrite(IoRequest request, DWORD& count);
    DWORD startWaitEvent(IoRequest request);
    // Blocks until `record` no longer holds STATUS_PENDING.
    void awaitCompletion(const OVERLAPPED& record);
    // Aborts the operations that thread `owner` started (ERROR_OPERATION_ABORTED).
    DWORD cancelThreadIo(std::thread::id owner);

    // Line control and status.
    DWORD purge(DWORD flags);
    DWORD setBreak(bool on);
    // Line errors since the last call as CE_ bits; queue fill levels into `stat`.
    DWORD clearErrors(DWORD& errors, COMSTAT* stat);
    // The MS_ bits of the input lines that are on.
    DWORD modemStatus(DWORD& status);

private:
    Port(int fd, int wakeFd, bool overlapped, const DCB& dcb);

    void shutdown();
    void runEngine();
    void wake();
    void drainWake();

    // The helpers below run with mutex_ held.
    void beginRecord(const IoRequest& request);
    void complete(IoRequest& request, DWORD error);
    void completeWait(IoRequest& request, DWORD error, DWORD events);
    // Ends the wait for line events in progress, if there is one.
    void endWait(DWORD error, DWORD events);
    template <typename Pred>
    void abortWhere(std::deque<IoRequest>& queue, Pred pred, DWORD error);
    void abortQueue(std::deque<IoRequest>& queue, DWORD error);
    void abortAll(DWORD error);
    DWORD outcomeOf(const OVERLAPPED& record, DWORD& count) const;

    void handleDevice(short revents, Clock::time_point now);
    void drainDevice(Clock::time_point now);
    void acceptBytes(const std::uint8_t* bytes, std::size_t count);
    void markGone(DWORD error, Clock::time_point now);
    void serveReads(Clock::time_point now);
    bool readFinished(const IoRequest& read, Clock::time_point now) const;
    void progressWrites(Clock::time_point now);
    void checkTxEmpty();
    void raiseEvents(DWORD events);
    void sampleLineState(bool report);
    bool needsLineSampling() const;
    bool readCounters(serial_icounter_struct& counters);
    short deviceInterest() const;
    int msUntilNextCheck(Clock::time_point now) const;
    void restoreSettings(const termios& settings);
    DWORD applyControlLines(const DCB& wanted);

    const int fd_;
    const int wakeFd_;
    const bool overlapped_;

    std::mutex mutex_;
    std::condition_variable completed_;
    std::thread engine_;
    bool closed_ = false;
    bool frameless_ = false;  // a pseudo-terminal: no parity or character size on the line
    DWORD goneError_ = ERROR_SUCCESS;  // why the device stopped working, once it has

    DCB dcb_;
    COMMTIMEOUTS timeouts_{};
    DWORD mask_ = 0;
    DWORD pendingEvents_ = 0;  // masked events not yet reported by a wait
    ByteRing input_;

    std::deque<IoRequest> reads_;
    std::deque<IoRequest> writes_;
    std::optional<IoRequest> wait_;
    bool txEmptyPending_ = false;  // output was written and EV_TXEMPTY is still due

    bool modemSupported_ = false;
    int modemLines_ = 0;
    bool countersSupported_ = false;
    serial_icounter_struct eventCounters_{};  // baseline for EV_BREAK / EV_ERR
    serial_icounter_struct errorCounters_{};  // baseline for ClearCommError
};
