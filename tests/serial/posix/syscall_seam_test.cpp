// Behaviour that needs the kernel to misbehave or to have hardware a pty lacks,
// injected through the system-call seam.
#include "comm_api.h"
#include "fake_kernel.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

using std::chrono::milliseconds;

class SeamTest : public ::testing::Test {
protected:
    void TearDown() override { closePort(); }

    bool openPort() {
        port = CreateFileA(pty.slavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        return port != INVALID_HANDLE_VALUE;
    }

    void closePort() {
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
        port = INVALID_HANDLE_VALUE;
    }

    DCB state() {
        DCB dcb{};
        EXPECT_TRUE(GetCommState(port, &dcb));
        return dcb;
    }

    // Starts an overlapped wait for line events; true when it stays pending.
    bool startWait(DWORD& events, OVERLAPPED& record) {
        return !WaitCommEvent(port, &events, &record) && GetLastError() == ERROR_IO_PENDING;
    }

    PtyPair pty;
    FakeKernel fake;  // declared after the pty, so it goes first, after the port is closed
    HANDLE port = INVALID_HANDLE_VALUE;
};

TEST_F(SeamTest, InterruptedCallsAreRetriedWithoutLoss) {
    ASSERT_TRUE(openPort());
    fake.interruptEveryOtherCall = true;
    std::vector<std::uint8_t> sent(500);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(port, sent.data(), static_cast<DWORD>(sent.size()), &count, nullptr));
    EXPECT_EQ(pty.receive(sent.size(), milliseconds(2000)), sent);

    COMMTIMEOUTS blocking{};
    ASSERT_TRUE(SetCommTimeouts(port, &blocking));
    pty.send(sent);
    std::vector<std::uint8_t> received(sent.size());
    ASSERT_TRUE(ReadFile(port, received.data(), static_cast<DWORD>(received.size()), &count, nullptr));
    EXPECT_EQ(received, sent);
    EXPECT_GT(fake.interruptions.load(), 0);
}

TEST_F(SeamTest, ShortWritesAreContinuedInOrder) {
    ASSERT_TRUE(openPort());
    fake.writeLimit = 3;
    const char text[] = "a write the kernel takes three bytes at a time";
    DWORD count = 0;
    OVERLAPPED record{};
    WriteFile(port, text, sizeof text - 1, &count, &record);
    ASSERT_TRUE(GetOverlappedResult(port, &record, &count, TRUE));
    EXPECT_EQ(count, sizeof text - 1);
    std::vector<std::uint8_t> received = pty.receive(sizeof text - 1, milliseconds(2000));
    EXPECT_EQ(std::string(received.begin(), received.end()), text);
}

TEST_F(SeamTest, OpenFailuresMapToWin32Codes) {
    struct Case {
        int error;
        DWORD code;
    } cases[] = {{EMFILE, ERROR_TOO_MANY_OPEN_FILES}, {EACCES, ERROR_ACCESS_DENIED},
                 {ENXIO, ERROR_DEVICE_NOT_CONNECTED}, {EBUSY, ERROR_ACCESS_DENIED}};
    for (const Case& c : cases) {
        fake.openError = c.error;
        EXPECT_FALSE(openPort());
        EXPECT_EQ(GetLastError(), c.code) << "errno " << c.error;
    }
    fake.openError = 0;
    fake.flockError = EWOULDBLOCK;
    EXPECT_FALSE(openPort());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(SeamTest, RefusedSettingsChangeNothing) {
    ASSERT_TRUE(openPort());
    DCB before = state();
    fake.tcsetattrError = EIO;
    DCB wanted = before;
    wanted.BaudRate = 19200;
    EXPECT_FALSE(SetCommState(port, &wanted));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DCB after = state();
    EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0);
}

TEST_F(SeamTest, UnchangedSettingsAreNotWrittenAgain) {
    ASSERT_TRUE(openPort());
    DCB dcb = state();
    dcb.BaudRate = 38400;
    ASSERT_TRUE(SetCommState(port, &dcb));
    int writes = fake.tcsetattrCalls.load();
    ASSERT_TRUE(SetCommState(port, &dcb));
    EXPECT_EQ(fake.tcsetattrCalls.load(), writes);
}

TEST_F(SeamTest, FailingDtrControlRestoresTheOldSettings) {
    ASSERT_TRUE(openPort());
    DCB before = state();
    termios device{};
    ASSERT_EQ(tcgetattr(pty.masterFd(), &device), 0);
    speed_t speedBefore = cfgetospeed(&device);
    ASSERT_NE(speedBefore, static_cast<speed_t>(B19200));
    fake.lineControlError = EIO;
    DCB wanted = before;
    wanted.BaudRate = 19200;
    wanted.fDtrControl = DTR_CONTROL_DISABLE;
    EXPECT_FALSE(SetCommState(port, &wanted));
    DCB after = state();
    EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0);
    ASSERT_EQ(tcgetattr(pty.masterFd(), &device), 0);
    EXPECT_EQ(cfgetospeed(&device), speedBefore);

    fake.lineControlError = ENOTTY;  // a device without modem lines: nothing to drive
    EXPECT_TRUE(SetCommState(port, &wanted));
}

TEST_F(SeamTest, ModemStatusAndLineChangeEvents) {
    fake.hasModemLines = true;
    fake.modemLines = TIOCM_CTS | TIOCM_CAR;
    ASSERT_TRUE(openPort());
    DWORD status = 0;
    ASSERT_TRUE(GetCommModemStatus(port, &status));
    EXPECT_EQ(status, static_cast<DWORD>(MS_CTS_ON | MS_RLSD_ON));

    ASSERT_TRUE(SetCommMask(port, EV_CTS | EV_DSR | EV_RING));
    DWORD events = 0;
    OVERLAPPED record{};
    ASSERT_TRUE(startWait(events, record));
    fake.modemLines = TIOCM_CAR | TIOCM_DSR;  // CTS off, DSR on; carrier is not watched
    DWORD count = 0;
    ASSERT_TRUE(GetOverlappedResult(port, &record, &count, TRUE));
    EXPECT_EQ(events, static_cast<DWORD>(EV_CTS | EV_DSR));
}

TEST_F(SeamTest, CountedLineErrorsAreReportedOnceAndRaiseEvents) {
    fake.hasCounters = true;
    ASSERT_TRUE(openPort());
    ASSERT_TRUE(SetCommMask(port, EV_BREAK | EV_ERR));
    DWORD events = 0;
    OVERLAPPED record{};
    ASSERT_TRUE(startWait(events, record));
    {
        std::lock_guard<std::mutex> lock(fake.countersMutex);
        fake.counters.overrun += 2;
        fake.counters.frame += 1;
        fake.counters.brk += 1;
    }
    DWORD count = 0;
    ASSERT_TRUE(GetOverlappedResult(port, &record, &count, TRUE));
    EXPECT_EQ(events, static_cast<DWORD>(EV_BREAK | EV_ERR));

    DWORD errors = 0;
    ASSERT_TRUE(ClearCommError(port, &errors, nullptr));
    EXPECT_EQ(errors, static_cast<DWORD>(CE_OVERRUN | CE_FRAME | CE_BREAK));
    ASSERT_TRUE(ClearCommError(port, &errors, nullptr));
    EXPECT_EQ(errors, 0u);
}

TEST_F(SeamTest, ReadFailureFailsThePendingRead) {
    ASSERT_TRUE(openPort());
    COMMTIMEOUTS blocking{};
    ASSERT_TRUE(SetCommTimeouts(port, &blocking));
    std::uint8_t buffer[4] = {};
    DWORD count = 0;
    OVERLAPPED record{};
    EXPECT_FALSE(ReadFile(port, buffer, 4, &count, &record));
    fake.readError = EIO;
    pty.send("x");  // makes the device readable, and the read fails
    EXPECT_FALSE(GetOverlappedResult(port, &record, &count, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

}  // namespace
