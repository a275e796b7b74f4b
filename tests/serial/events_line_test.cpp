// Line events, purge, break and line errors on an open port.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "serial_on_pty.h"

namespace {

TEST_F(SerialOnPty, WaitEventReportsAReceivedCharacterOnce) {
    DelayedSend later(pty, "x");
    EXPECT_EQ(port.WaitEvent(nullptr, 2000), ERROR_SUCCESS);
    EXPECT_EQ(port.GetEventType(), CSerial::EventCharReceived);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});

    EXPECT_EQ(port.GetEventType(), CSerial::EventNone);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{
                  Trace("CSerial::GetEventType - Event 00000000h not within mask 000000C1h.\n")});
}

TEST_F(SerialOnPty, WaitEventTimesOutQuietlyAndWorksAgain) {
    EXPECT_EQ(port.WaitEvent(nullptr, 100), ERROR_TIMEOUT);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_TIMEOUT);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});

    DelayedSend later(pty, "y");
    EXPECT_EQ(port.WaitEvent(nullptr, 2000), ERROR_SUCCESS);
    EXPECT_EQ(port.GetEventType(), CSerial::EventCharReceived);
}

TEST_F(SerialOnPty, WaitEventWithCallerRecordSignalsWhenTheEventComes) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(port.WaitEvent(&overlapped), ERROR_SUCCESS);
    pty.send("z");
    EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(port.GetEventType(), CSerial::EventCharReceived);
    CloseHandle(overlapped.hEvent);
}

TEST_F(SerialOnPty, EventCharacterRaisesItsOwnEvent) {
    ASSERT_EQ(port.SetEventChar('\n'), ERROR_SUCCESS);
    ASSERT_EQ(port.SetMask(CSerial::EventFlagCharReceived), ERROR_SUCCESS);
    DelayedSend later(pty, "line\n");
    EXPECT_EQ(port.WaitEvent(nullptr, 2000), ERROR_SUCCESS);
    EXPECT_EQ(port.GetEventType(), CSerial::EventFlagCharReceived);
}

TEST_F(SerialOnPty, PurgeDropsWhatHasArrived) {
    DelayedSend later(pty, "junk");
    awaitInput();
    EXPECT_EQ(port.Purge(), ERROR_SUCCESS);
    char buffer[4];
    DWORD dwRead = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwRead), ERROR_SUCCESS);  // non-blocking
    EXPECT_EQ(dwRead, 0u);
}

// A pty carries no break condition to the far end; what shows is the hold time.
TEST_F(SerialOnPty, BreakHoldsTheLineForAbout100Milliseconds) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Break(), ERROR_SUCCESS);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});
}

// A pty can produce no overrun, so only the quiet case shows here.
TEST_F(SerialOnPty, NoLineErrorsOnAPty) {
    EXPECT_EQ(port.GetError(), CSerial::LineErrorNone);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_SUCCESS);
}

// A pty has no modem lines: the query fails on the open port, which stays usable.
TEST_F(SerialOnPty, ModemLineQueryFailureLeavesThePortOpen) {
    EXPECT_FALSE(port.GetDSR());
    EXPECT_NE(port.GetLastErrorCode(), ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{Trace(
                                         "CSerial::GetDSR - Unable to obtain the modem status\n")});
    EXPECT_EQ(port.Write("still open"), ERROR_SUCCESS);
}

TEST_F(SerialOnPty, WaitEventWithoutWatchedEventsFailsToStart) {
    ASSERT_EQ(port.SetMask(0), ERROR_SUCCESS);
    EXPECT_NE(port.WaitEvent(nullptr, 100), ERROR_SUCCESS);
    EXPECT_EQ(
        diagnostics.reports(),
        std::vector<CapturedReport>{Trace("CSerial::WaitEvent - Unable to wait for COM event\n")});
}

}  // namespace
