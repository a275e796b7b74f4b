// Handles, events and waits.
#include "comm_api.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(Handles, UnknownNullAndClosedHandlesFailWithInvalidHandle) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(CloseHandle(event));

    for (HANDLE bad : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, event,
                       reinterpret_cast<HANDLE>(0x12345)}) {
        SetLastError(0);
        EXPECT_FALSE(SetEvent(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        DCB dcb{};
        EXPECT_FALSE(GetCommState(bad, &dcb));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(Handles, NewHandlesNeverReuseAClosedOne) {
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(first);
    HANDLE second = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(first, second);
    EXPECT_FALSE(SetEvent(first));
    CloseHandle(second);
}

TEST(Handles, LastErrorIsPerThread) {
    SetLastError(1234);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(77);
    });
    other.join();
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Events, AutoResetReleasesOneWait) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Events, WaitTimesOutAfterTheGivenTime) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto start = steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 50), WAIT_TIMEOUT);
    EXPECT_GE(steady_clock::now() - start, milliseconds(45));
    CloseHandle(event);
}

TEST(Events, InfiniteWaitEndsWhenAnotherThreadSignals) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread setter([event] {
        Sleep(20);
        SetEvent(event);
    });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    setter.join();
    CloseHandle(event);
}

TEST(Events, ClosingAHandleWhileAnotherThreadWaitsOnItIsSafe) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD result = 0;
    std::thread waiter([&] { result = WaitForSingleObject(event, 100); });
    Sleep(20);
    EXPECT_TRUE(CloseHandle(event));
    waiter.join();
    EXPECT_EQ(result, WAIT_TIMEOUT);
}

TEST(Events, NamedEventsAreNotSupported) {
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "shared"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST(Events, SleepWaitsAtLeastTheGivenTime) {
    auto start = steady_clock::now();
    Sleep(30);
    EXPECT_GE(steady_clock::now() - start, milliseconds(30));
}

}  // namespace
