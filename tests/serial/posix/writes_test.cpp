// WriteFile on a pty: immediate and pending completion, time-out, abort.
#include "comm_api.h"
#include "open_port.h"

#include <chrono>
#include <thread>
#include <vector>

namespace {

using std::chrono::milliseconds;

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return bytes;
}

// More than a pty takes in before its reader catches up.
constexpr std::size_t kBeyondPtyBuffer = 256 * 1024;

using Writes = OpenPort;

TEST_F(Writes, SmallWriteCompletesAtOnceAndReachesTheLine) {
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(port, "hello", 5, &count, &record));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(record.InternalHigh, 5u);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    auto received = pty.receive(5, milliseconds(1000));
    EXPECT_EQ(std::string(received.begin(), received.end()), "hello");
}

TEST_F(Writes, ZeroByteWriteSucceedsAndSendsNothing) {
    DWORD count = 7;
    EXPECT_TRUE(WriteFile(port, "", 0, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(pty.receive(1, milliseconds(50)).empty());
}

TEST_F(Writes, LargeWriteStaysPendingUntilTheFarEndReads) {
    std::vector<std::uint8_t> sent = pattern(kBeyondPtyBuffer);
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    DWORD count = 0;
    EXPECT_FALSE(WriteFile(port, sent.data(), static_cast<DWORD>(sent.size()), &count, &record));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(WaitForSingleObject(event.get(), 50), WAIT_TIMEOUT);

    std::vector<std::uint8_t> received = pty.receive(sent.size(), milliseconds(10000));
    ASSERT_EQ(WaitForSingleObject(event.get(), 2000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(count, sent.size());
    EXPECT_EQ(received, sent);
}

TEST_F(Writes, WriteTimeoutCompletesWithTheBytesSent) {
    COMMTIMEOUTS timeouts{0, 0, 0, 0, 80};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    std::vector<std::uint8_t> sent = pattern(kBeyondPtyBuffer);
    DWORD count = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WriteFile(port, sent.data(), static_cast<DWORD>(sent.size()), &count, nullptr));
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(75));
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, sent.size());
    std::vector<std::uint8_t> received = pty.receive(count, milliseconds(5000));
    EXPECT_EQ(received, std::vector<std::uint8_t>(sent.begin(), sent.begin() + count));
}

TEST_F(Writes, PurgeTxAbortEndsPendingWrites) {
    std::vector<std::uint8_t> sent = pattern(kBeyondPtyBuffer);
    OVERLAPPED record{};
    DWORD count = 0;
    EXPECT_FALSE(WriteFile(port, sent.data(), static_cast<DWORD>(sent.size()), &count, &record));
    ASSERT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR));
    EXPECT_FALSE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(Writes, ClosingThePortAbortsPendingWrites) {
    std::vector<std::uint8_t> sent = pattern(kBeyondPtyBuffer);
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    DWORD count = 0;
    EXPECT_FALSE(WriteFile(port, sent.data(), static_cast<DWORD>(sent.size()), &count, &record));
    ASSERT_TRUE(CloseHandle(port));
    port = INVALID_HANDLE_VALUE;
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(statusOf(record) & 0xFFFFu, static_cast<ULONG_PTR>(ERROR_OPERATION_ABORTED));
}

TEST_F(Writes, NullBufferIsRefused) {
    DWORD count = 0;
    EXPECT_FALSE(WriteFile(port, nullptr, 4, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
}

}  // namespace
