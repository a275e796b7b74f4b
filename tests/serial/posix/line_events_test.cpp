// WaitCommEvent, purge, break and line status on a pty.
#include "comm_api.h"
#include "open_port.h"

#include <chrono>
#include <thread>

namespace {

using std::chrono::milliseconds;

// A wait for line events with its own record and event.
struct PendingWait {
    explicit PendingWait(HANDLE port) {
        record.hEvent = event.get();
        started = WaitCommEvent(port, &events, &record);
        startError = started ? 0 : GetLastError();
    }
    bool completedWithin(DWORD ms) { return WaitForSingleObject(event.get(), ms) == WAIT_OBJECT_0; }

    ScopedEvent event;
    OVERLAPPED record{};
    DWORD events = 0xFFFFFFFFu;
    BOOL started = FALSE;
    DWORD startError = 0;
};

using LineEvents = OpenPort;

TEST_F(LineEvents, ArrivingCharactersEndAPendingWait) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    PendingWait wait(port);
    ASSERT_FALSE(wait.started);
    EXPECT_EQ(wait.startError, static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_FALSE(wait.completedWithin(50));
    pty.send("a");
    ASSERT_TRUE(wait.completedWithin(2000));
    EXPECT_EQ(wait.events, static_cast<DWORD>(EV_RXCHAR));
    DWORD count = 0;
    EXPECT_TRUE(GetOverlappedResult(port, &wait.record, &count, FALSE));
}

TEST_F(LineEvents, EventsSinceTheLastWaitCompleteTheNextAtOnce) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    pty.send("a");
    Sleep(50);
    PendingWait wait(port);
    ASSERT_TRUE(wait.started);
    EXPECT_EQ(wait.events, static_cast<DWORD>(EV_RXCHAR));
    EXPECT_TRUE(wait.completedWithin(0));

    PendingWait next(port);
    EXPECT_FALSE(next.started) << "the event was reported once already";
    CancelIo(port);
}

TEST_F(LineEvents, EventCharacterRaisesRxFlag) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.EvtChar = '\n';
    ASSERT_TRUE(SetCommState(port, &dcb));
    ASSERT_TRUE(SetCommMask(port, EV_RXFLAG));
    PendingWait wait(port);
    pty.send("abc");
    EXPECT_FALSE(wait.completedWithin(80));
    pty.send("\n");
    ASSERT_TRUE(wait.completedWithin(2000));
    EXPECT_EQ(wait.events, static_cast<DWORD>(EV_RXFLAG));
}

TEST_F(LineEvents, TransmitQueueEmptyAfterAWrite) {
    ASSERT_TRUE(SetCommMask(port, EV_TXEMPTY));
    PendingWait wait(port);
    EXPECT_FALSE(wait.completedWithin(30));
    DWORD count = 0;
    OVERLAPPED record{};
    ASSERT_TRUE(WriteFile(port, "xyz", 3, &count, &record));
    ASSERT_TRUE(wait.completedWithin(2000));
    EXPECT_EQ(wait.events, static_cast<DWORD>(EV_TXEMPTY));
}

TEST_F(LineEvents, InputQueueEightyPercentFull) {
    ASSERT_TRUE(SetupComm(port, 20, 20));
    ASSERT_TRUE(SetCommMask(port, EV_RX80FULL));
    PendingWait wait(port);
    pty.send("0123456789");
    EXPECT_FALSE(wait.completedWithin(80));
    pty.send("abcdef");
    ASSERT_TRUE(wait.completedWithin(2000));
    EXPECT_EQ(wait.events, static_cast<DWORD>(EV_RX80FULL));
}

TEST_F(LineEvents, ChangingTheMaskEndsAPendingWaitWithNoEvents) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    PendingWait wait(port);
    ASSERT_FALSE(wait.started);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_TXEMPTY));
    ASSERT_TRUE(wait.completedWithin(1000));
    EXPECT_EQ(wait.events, 0u);
    DWORD count = 0;
    EXPECT_TRUE(GetOverlappedResult(port, &wait.record, &count, FALSE));
}

TEST_F(LineEvents, EventsOutsideTheMaskAreNotReported) {
    ASSERT_TRUE(SetCommMask(port, EV_TXEMPTY));
    PendingWait wait(port);
    pty.send("abc");
    EXPECT_FALSE(wait.completedWithin(80));
    CancelIo(port);
    EXPECT_TRUE(wait.completedWithin(0));
    EXPECT_EQ(statusOf(wait.record) & 0xFFFFu, static_cast<ULONG_PTR>(ERROR_OPERATION_ABORTED));
}

TEST_F(LineEvents, WaitWithoutMaskOrWhileAnotherWaitsIsInvalid) {
    ASSERT_TRUE(SetCommMask(port, 0));
    PendingWait withoutMask(port);
    EXPECT_EQ(withoutMask.startError, static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    PendingWait first(port);
    PendingWait second(port);
    EXPECT_EQ(second.startError, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CancelIo(port);
}

TEST_F(LineEvents, SynchronousWaitReturnsTheEvents) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    std::thread sender([this] {
        Sleep(30);
        pty.send("k");
    });
    DWORD events = 0;
    EXPECT_TRUE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR));
    sender.join();
}

TEST_F(LineEvents, PurgeRxClearEmptiesTheQueueWithoutAbortingReads) {
    pty.send("stale");
    Sleep(50);
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR));
    COMSTAT stat{};
    DWORD errors = 0;
    ASSERT_TRUE(ClearCommError(port, &errors, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);

    setTimeouts(0, 0, 0);
    std::uint8_t buffer[3] = {};
    DWORD count = 0;
    OVERLAPPED record{};
    EXPECT_FALSE(ReadFile(port, buffer, 3, &count, &record));
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR));
    EXPECT_EQ(statusOf(record), static_cast<ULONG_PTR>(STATUS_PENDING));
    pty.send("new");
    ASSERT_TRUE(GetOverlappedResult(port, &record, &count, TRUE));
    EXPECT_EQ(std::string(buffer, buffer + 3), "new");
}

TEST_F(LineEvents, PurgeRxAbortEndsPendingReadsOfEveryThread) {
    setTimeouts(0, 0, 0);
    std::uint8_t buffer[3] = {};
    DWORD count = 0;
    OVERLAPPED record{};
    std::thread([&] { ReadFile(port, buffer, 3, &count, &record); }).join();
    ASSERT_TRUE(PurgeComm(port, PURGE_RXABORT));
    EXPECT_FALSE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(LineEvents, PurgeWithUnknownFlagsIsInvalid) {
    EXPECT_FALSE(PurgeComm(port, 0x10));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(LineEvents, BreakCanBeSetAndCleared) {
    EXPECT_TRUE(SetCommBreak(port));
    EXPECT_TRUE(ClearCommBreak(port));
}

TEST_F(LineEvents, ClearCommErrorReportsNoErrorsAndTheQueueFill) {
    pty.send("1234567");
    Sleep(50);
    DWORD errors = 0xFFFF;
    COMSTAT stat{};
    ASSERT_TRUE(ClearCommError(port, &errors, &stat));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 7u);
    EXPECT_EQ(stat.cbOutQue, 0u);
    errors = 0xFFFF;
    EXPECT_TRUE(ClearCommError(port, &errors, nullptr));
    EXPECT_EQ(errors, 0u);
}

}  // namespace
