// ReadFile on a pty: completion at once, pending and later completion, time-out
// modes, cancellation.
#include "comm_api.h"
#include "open_port.h"

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr std::uint8_t kUntouched = 0xDC;

using Reads = OpenPort;

TEST_F(Reads, NonBlockingModeReturnsAtOnceWithWhatIsQueued) {
    setTimeouts(MAXDWORD, 0, 0);
    std::array<std::uint8_t, 8> buffer{};
    DWORD count = 99;
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    ASSERT_TRUE(ReadFile(port, buffer.data(), 8, &count, &record));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(statusOf(record), 0u);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);

    pty.send("abc");
    Sleep(50);
    ASSERT_TRUE(ReadFile(port, buffer.data(), 8, &count, &record));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(record.InternalHigh, 3u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 3), "abc");
}

TEST_F(Reads, BlockingModeStaysPendingUntilEveryByteHasCome) {
    setTimeouts(0, 0, 0);
    std::array<std::uint8_t, 5> buffer{};
    DWORD count = 99;
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    EXPECT_FALSE(ReadFile(port, buffer.data(), 5, &count, &record));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(statusOf(record), static_cast<ULONG_PTR>(STATUS_PENDING));
    EXPECT_FALSE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

    pty.send("12");
    EXPECT_EQ(WaitForSingleObject(event.get(), 100), WAIT_TIMEOUT);
    pty.send("345");
    ASSERT_EQ(WaitForSingleObject(event.get(), 2000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "12345");
    EXPECT_TRUE(HasOverlappedIoCompleted(&record));
}

TEST_F(Reads, StartingAnOperationResetsTheRecordEvent) {
    setTimeouts(0, 0, 0);
    ScopedEvent event;
    ASSERT_TRUE(SetEvent(event.get()));
    OVERLAPPED record{};
    record.hEvent = event.get();
    std::uint8_t byte = 0;
    DWORD count = 0;
    EXPECT_FALSE(ReadFile(port, &byte, 1, &count, &record));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
    pty.send("z");
    EXPECT_EQ(WaitForSingleObject(event.get(), 2000), WAIT_OBJECT_0);
    EXPECT_EQ(byte, 'z');
}

TEST_F(Reads, GetOverlappedResultCanWaitForCompletion) {
    setTimeouts(0, 0, 0);
    std::array<std::uint8_t, 3> buffer{};
    DWORD count = 0;
    OVERLAPPED record{};
    EXPECT_FALSE(ReadFile(port, buffer.data(), 3, &count, &record));
    std::thread sender([this] {
        Sleep(30);
        pty.send("xyz");
    });
    EXPECT_TRUE(GetOverlappedResult(port, &record, &count, TRUE));
    EXPECT_EQ(count, 3u);
    sender.join();
}

TEST_F(Reads, SynchronousReadWithoutRecordWaitsForTheBytes) {
    setTimeouts(0, 0, 0);
    std::thread sender([this] {
        Sleep(30);
        pty.send("hello");
    });
    std::array<std::uint8_t, 5> buffer{};
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(port, buffer.data(), 5, &count, nullptr));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "hello");
    sender.join();
}

TEST_F(Reads, ClosingThePortEndsASynchronousReadOfAnotherThread) {
    setTimeouts(0, 0, 0);
    std::uint8_t buffer[4] = {};
    BOOL result = TRUE;
    DWORD error = 0;
    std::atomic<bool> reading{false};
    std::thread reader([&] {
        DWORD count = 0;
        reading = true;
        result = ReadFile(port, buffer, 4, &count, nullptr);
        error = GetLastError();
    });
    while (!reading) Sleep(1);
    Sleep(100);  // long enough for the read to be under way
    ASSERT_TRUE(CloseHandle(port));
    port = INVALID_HANDLE_VALUE;
    reader.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(Reads, PortHandlesAreNotWaitable) {
    EXPECT_EQ(WaitForSingleObject(port, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ReadsWithoutOverlappedFlag, CallsWaitForCompletionEvenWithARecord) {
    PtyPair pty;
    HANDLE port = CreateFileA(pty.slavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    std::thread sender([&pty] {
        Sleep(30);
        pty.send("abc");
    });
    std::uint8_t buffer[3] = {};
    DWORD count = 0;
    OVERLAPPED record{};
    EXPECT_TRUE(ReadFile(port, buffer, 3, &count, &record));
    EXPECT_EQ(count, 3u);
    EXPECT_TRUE(HasOverlappedIoCompleted(&record));
    sender.join();
    CloseHandle(port);
}

TEST_F(Reads, TotalTimeoutCompletesWithTheBytesSoFar) {
    setTimeouts(0, 0, 80);
    pty.send("ab");
    std::array<std::uint8_t, 10> buffer{};
    DWORD count = 0;
    auto start = steady_clock::now();
    EXPECT_TRUE(ReadFile(port, buffer.data(), 10, &count, nullptr));
    EXPECT_GE(steady_clock::now() - start, milliseconds(75));
    EXPECT_EQ(count, 2u);
}

TEST_F(Reads, TotalTimeoutGrowsWithTheMultiplier) {
    setTimeouts(0, 20, 0);
    std::array<std::uint8_t, 5> buffer{};
    DWORD count = 9;
    auto start = steady_clock::now();
    EXPECT_TRUE(ReadFile(port, buffer.data(), 5, &count, nullptr));
    EXPECT_GE(steady_clock::now() - start, milliseconds(95));
    EXPECT_EQ(count, 0u);
}

TEST_F(Reads, IntervalTimeoutEndsTheReadAfterAPause) {
    setTimeouts(40, 0, 0);
    std::array<std::uint8_t, 10> buffer{};
    DWORD count = 0;
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    EXPECT_FALSE(ReadFile(port, buffer.data(), 10, &count, &record));
    // No byte yet: the interval does not run before the first one.
    EXPECT_EQ(WaitForSingleObject(event.get(), 120), WAIT_TIMEOUT);
    pty.send("abc");
    ASSERT_EQ(WaitForSingleObject(event.get(), 2000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(count, 3u);
}

TEST_F(Reads, FirstByteModeWaitsForAnyByteUpToTheConstant) {
    setTimeouts(MAXDWORD, MAXDWORD, 60);
    std::array<std::uint8_t, 10> buffer{};
    DWORD count = 9;
    auto start = steady_clock::now();
    EXPECT_TRUE(ReadFile(port, buffer.data(), 10, &count, nullptr));
    EXPECT_GE(steady_clock::now() - start, milliseconds(55));
    EXPECT_EQ(count, 0u);

    setTimeouts(MAXDWORD, MAXDWORD, 5000);
    std::thread sender([this] {
        Sleep(30);
        pty.send("q");
    });
    start = steady_clock::now();
    EXPECT_TRUE(ReadFile(port, buffer.data(), 10, &count, nullptr));
    EXPECT_EQ(count, 1u);
    EXPECT_LT(steady_clock::now() - start, milliseconds(4000));
    sender.join();

    pty.send("rs");
    Sleep(50);
    EXPECT_TRUE(ReadFile(port, buffer.data(), 10, &count, nullptr));
    EXPECT_EQ(count, 2u);
}

TEST_F(Reads, PendingReadsAreServedInTheOrderTheyStarted) {
    setTimeouts(0, 0, 0);
    std::array<std::uint8_t, 2> first{};
    std::array<std::uint8_t, 2> second{};
    DWORD count = 0;
    OVERLAPPED recordA{};
    OVERLAPPED recordB{};
    EXPECT_FALSE(ReadFile(port, first.data(), 2, &count, &recordA));
    EXPECT_FALSE(ReadFile(port, second.data(), 2, &count, &recordB));
    pty.send("1234");
    ASSERT_TRUE(GetOverlappedResult(port, &recordB, &count, TRUE));
    ASSERT_TRUE(GetOverlappedResult(port, &recordA, &count, TRUE));
    EXPECT_EQ(std::string(first.begin(), first.end()), "12");
    EXPECT_EQ(std::string(second.begin(), second.end()), "34");
}

TEST_F(Reads, CancelIoAbortsAndNothingIsWrittenAfterwards) {
    setTimeouts(0, 0, 0);
    std::array<std::uint8_t, 4> buffer;
    buffer.fill(kUntouched);
    DWORD count = 0;
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    EXPECT_FALSE(ReadFile(port, buffer.data(), 4, &count, &record));
    pty.send("ab");
    Sleep(50);  // the engine hands the two bytes to the read
    ASSERT_TRUE(CancelIo(port));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

    std::array<std::uint8_t, 4> afterCancel = buffer;
    OVERLAPPED recordAfterCancel = record;
    pty.send("cdef");
    Sleep(50);
    EXPECT_EQ(buffer, afterCancel);
    EXPECT_EQ(statusOf(record), recordAfterCancel.Internal);
    EXPECT_EQ(record.InternalHigh, recordAfterCancel.InternalHigh);

    // The bytes that came after the cancellation are still queued for the next read.
    setTimeouts(MAXDWORD, 0, 0);
    std::array<std::uint8_t, 8> next{};
    ASSERT_TRUE(ReadFile(port, next.data(), 8, &count, nullptr));
    EXPECT_EQ(std::string(next.begin(), next.begin() + count), "cdef");
}

TEST_F(Reads, CancelIoLeavesOtherThreadsOperationsAlone) {
    setTimeouts(0, 0, 0);
    std::array<std::uint8_t, 2> buffer{};
    DWORD count = 0;
    OVERLAPPED record{};
    std::thread starter([&] { EXPECT_FALSE(ReadFile(port, buffer.data(), 2, &count, &record)); });
    starter.join();
    ASSERT_TRUE(CancelIo(port));
    EXPECT_EQ(statusOf(record), static_cast<ULONG_PTR>(STATUS_PENDING));
    pty.send("ok");
    ASSERT_TRUE(GetOverlappedResult(port, &record, &count, TRUE));
    EXPECT_EQ(count, 2u);
}

TEST_F(Reads, ReadLongerThanTheInputQueueCompletesWithoutLoss) {
    ASSERT_TRUE(SetupComm(port, 16, 16));
    setTimeouts(0, 0, 0);
    std::vector<std::uint8_t> sent(3000);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7);
    std::thread sender([&] { pty.send(sent); });
    std::vector<std::uint8_t> received(sent.size());
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(port, received.data(), static_cast<DWORD>(received.size()), &count, nullptr));
    sender.join();
    EXPECT_EQ(count, sent.size());
    EXPECT_EQ(received, sent);
}

TEST_F(Reads, FullInputQueueHoldsTheLineInsteadOfDroppingBytes) {
    ASSERT_TRUE(SetupComm(port, 16, 16));
    std::vector<std::uint8_t> sent(2000);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 13 + 1);
    pty.send(sent);
    Sleep(50);
    setTimeouts(MAXDWORD, 0, 0);
    std::vector<std::uint8_t> received;
    for (int attempt = 0; attempt < 200 && received.size() < sent.size(); ++attempt) {
        std::array<std::uint8_t, 64> chunk{};
        DWORD count = 0;
        ASSERT_TRUE(ReadFile(port, chunk.data(), 64, &count, nullptr));
        received.insert(received.end(), chunk.begin(), chunk.begin() + count);
        if (count == 0) Sleep(5);
    }
    EXPECT_EQ(received, sent);
}

}  // namespace
