// A device that goes away while in use: the pty master is closed.
#include "comm_api.h"
#include "open_port.h"

#include <time.h>

#include <chrono>

namespace {

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class DeviceGone : public OpenPort {
protected:
    void hangUp() {
        pty.closeSlaveKeeper();
        pty.closeMaster();
    }
};

TEST_F(DeviceGone, PendingReadFailsInsteadOfHanging) {
    setTimeouts(0, 0, 0);
    std::uint8_t buffer[4] = {};
    DWORD count = 0;
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    EXPECT_FALSE(ReadFile(port, buffer, 4, &count, &record));
    hangUp();
    ASSERT_EQ(WaitForSingleObject(event.get(), 2000), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));

    // Later operations fail at once as well, also synchronous ones without a record.
    EXPECT_FALSE(ReadFile(port, buffer, 4, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(WriteFile(port, buffer, 4, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));

    // So does a read that returns at once: with nothing queued, "no bytes yet" would
    // hide from a polling caller that none will ever come.
    setTimeouts(MAXDWORD, 0, 0);
    count = 99;
    EXPECT_FALSE(ReadFile(port, buffer, 4, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(count, 0u);
}

TEST_F(DeviceGone, PendingEventWaitFails) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    DWORD events = 0;
    OVERLAPPED record{};
    ScopedEvent event;
    record.hEvent = event.get();
    EXPECT_FALSE(WaitCommEvent(port, &events, &record));
    hangUp();
    ASSERT_EQ(WaitForSingleObject(event.get(), 2000), WAIT_OBJECT_0);
    DWORD count = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &record, &count, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(DeviceGone, BytesThatCameBeforeTheHangUpAreStillDelivered) {
    pty.send("last");
    Sleep(50);
    hangUp();
    Sleep(50);
    setTimeouts(0, 0, 0);
    std::uint8_t buffer[10] = {};
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(port, buffer, 10, &count, nullptr));
    EXPECT_EQ(std::string(buffer, buffer + count), "last");
}

TEST_F(DeviceGone, EngineDoesNotSpinAfterTheHangUp) {
    hangUp();
    Sleep(50);
    double cpuBefore = processCpuSeconds();
    Sleep(300);
    double cpuUsed = processCpuSeconds() - cpuBefore;
    EXPECT_LT(cpuUsed, 0.1) << "the engine thread keeps running on a dead descriptor";
    EXPECT_TRUE(CloseHandle(port));
    port = INVALID_HANDLE_VALUE;
}

}  // namespace
