// Reads and writes in both styles: blocking with a time limit, and with the caller's own
// completion record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial_on_pty.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr auto kPatience = std::chrono::milliseconds(2000);

// A manual-reset event and a completion record naming it, for asynchronous calls.
struct CallerRecord {
    CallerRecord() { overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~CallerRecord() { CloseHandle(overlapped.hEvent); }
    bool signalled(DWORD dwMilliseconds = 0) const {
        return WaitForSingleObject(overlapped.hEvent, dwMilliseconds) == WAIT_OBJECT_0;
    }
    OVERLAPPED overlapped{};
};

class ReadWrite : public SerialOnPty {
protected:
    void SetUp() override {
        SerialOnPty::SetUp();
        ASSERT_EQ(port.SetupReadTimeouts(CSerial::ReadBlocking), ERROR_SUCCESS);
    }
};

TEST_F(ReadWrite, BlockingReadWaitsForAllItsBytes) {
    DelayedSend later(pty, "hello");
    char buffer[5];
    DWORD dwRead = 0;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwRead, nullptr, INFINITE), ERROR_SUCCESS);
    EXPECT_EQ(dwRead, 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
}

TEST_F(ReadWrite, SingleByteReadWithoutCountOrLimit) {
    pty.send("Z");
    char byte = 0;
    EXPECT_EQ(port.Read(&byte, 1), ERROR_SUCCESS);
    EXPECT_EQ(byte, 'Z');
}

TEST_F(ReadWrite, TimedOutReadDeliversNothingAndThePortStaysUsable) {
    unsigned char buffer[8];
    DWORD dwRead = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwRead, nullptr, 100), ERROR_TIMEOUT);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_TIMEOUT);
    EXPECT_EQ(dwRead, 0u);
    EXPECT_EQ(Bytes(buffer, buffer + 8), Bytes(8, 0xDC));
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});

    pty.send("xyz");
    EXPECT_EQ(port.Read(buffer, 3, &dwRead, nullptr, 2000), ERROR_SUCCESS);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{'x', 'y', 'z'}));
}

TEST_F(ReadWrite, ShortDeliveryTimesOutWithTheRestStillFilled) {
    pty.send("ab");
    unsigned char buffer[6];
    DWORD dwRead = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwRead, nullptr, 100), ERROR_TIMEOUT);
    EXPECT_EQ(dwRead, 0u);
    EXPECT_EQ(Bytes(buffer + 2, buffer + 6), Bytes(4, 0xDC));
}

TEST_F(ReadWrite, ReadAfterAnImmediateCompletionStillWaitsForItsOwn) {
    pty.send("q");
    char byte = 0;
    ASSERT_EQ(port.Read(&byte, 1, nullptr, nullptr, 2000), ERROR_SUCCESS);
    ASSERT_EQ(byte, 'q');
    // The shared event may be left signalled; the next read must not take that as done.
    EXPECT_EQ(port.Read(&byte, 1, nullptr, nullptr, 100), ERROR_TIMEOUT);
}

TEST_F(ReadWrite, CallerRecordReadCompletesLaterThroughItsEvent) {
    CallerRecord record;
    char buffer[3];
    DWORD dwRead = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwRead, &record.overlapped), ERROR_SUCCESS);
    EXPECT_EQ(dwRead, 0u);
    EXPECT_FALSE(record.signalled());

    pty.send("abc");
    ASSERT_TRUE(record.signalled(2000));
    DWORD dwDone = 0;
    ASSERT_TRUE(GetOverlappedResult(port.portHandle(), &record.overlapped, &dwDone, FALSE));
    EXPECT_EQ(dwDone, 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");
}

TEST_F(ReadWrite, CallerRecordReadCompletedAtOnceLeavesItsEventSignalled) {
    ASSERT_EQ(port.SetupReadTimeouts(CSerial::ReadNonBlocking), ERROR_SUCCESS);
    CallerRecord record;
    char buffer[4];
    DWORD dwRead = 99;
    // Nothing queued: a non-blocking read completes at once, with no bytes.
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwRead, &record.overlapped), ERROR_SUCCESS);
    EXPECT_EQ(dwRead, 0u);
    EXPECT_TRUE(record.signalled());
}

TEST_F(ReadWrite, RecordStillInUseIsReported) {
    ASSERT_EQ(port.SetupReadTimeouts(CSerial::ReadNonBlocking), ERROR_SUCCESS);
    CallerRecord record;
    record.overlapped.Internal = STATUS_PENDING;
    char byte;
    DWORD dwRead = 0;
    port.Read(&byte, 1, &dwRead, &record.overlapped);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{Assertion("HasOverlappedIoCompleted(lpOverlapped)")});
}

TEST_F(ReadWrite, TextWriteSendsTheTextWithoutItsTerminator) {
    DWORD dwWritten = 0;
    EXPECT_EQ(port.Write("abc", &dwWritten), ERROR_SUCCESS);
    EXPECT_EQ(dwWritten, 3u);
    EXPECT_EQ(pty.receive(4, std::chrono::milliseconds(200)), (Bytes{'a', 'b', 'c'}));

    dwWritten = 99;
    EXPECT_EQ(port.Write("", &dwWritten), ERROR_SUCCESS);
    EXPECT_EQ(dwWritten, 0u);
    EXPECT_EQ(pty.receive(1, std::chrono::milliseconds(100)), Bytes{});
}

TEST_F(ReadWrite, DataWriteSendsEveryByte) {
    const unsigned char data[] = {0x00, 0x7E, 0x00, 0xFF};
    DWORD dwWritten = 0;
    EXPECT_EQ(port.Write(data, DWORD{sizeof data}, &dwWritten), ERROR_SUCCESS);
    EXPECT_EQ(dwWritten, 4u);
    EXPECT_EQ(pty.receive(4, kPatience), Bytes(data, data + 4));
}

TEST_F(ReadWrite, CallerRecordWriteSignalsItsEvent) {
    CallerRecord record;
    DWORD dwWritten = 0;
    EXPECT_EQ(port.Write("xy", &dwWritten, &record.overlapped), ERROR_SUCCESS);
    ASSERT_TRUE(record.signalled(2000));
    ASSERT_TRUE(GetOverlappedResult(port.portHandle(), &record.overlapped, &dwWritten, FALSE));
    EXPECT_EQ(dwWritten, 2u);
    EXPECT_EQ(pty.receive(2, kPatience), (Bytes{'x', 'y'}));
}

TEST_F(ReadWrite, HangUpDuringABlockingReadEndsItWithTheCause) {
    std::thread hangUp([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.closeMaster();
    });
    char buffer[4];
    DWORD dwRead = 99;
    const LONG lCode = port.Read(buffer, sizeof buffer, &dwRead, nullptr, 2000);
    hangUp.join();
    EXPECT_NE(lCode, ERROR_SUCCESS);
    EXPECT_NE(lCode, ERROR_TIMEOUT);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{Trace(
                                         "CSerial::Read - Overlapped completed without result\n")});
}

TEST_F(ReadWrite, RecordWithoutAUsableEventFailsToStart) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = port.portHandle();  // a handle, but not an event
    char buffer[2];
    DWORD dwCount = 0;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwCount, &overlapped), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.Write("ab", &dwCount, &overlapped), ERROR_INVALID_HANDLE);
    EXPECT_EQ(diagnostics.reports(),
              (std::vector<CapturedReport>{Trace("CSerial::Read - Unable to read the data\n"),
                                           Trace("CSerial::Write - Unable to write the data\n")}));
}

TEST_F(ReadWrite, WriteTimesOutWhileTheFarEndDoesNotRead) {
    const std::string flood(1 << 20, 'f');
    DWORD dwWritten = 99;
    EXPECT_EQ(port.Write(flood.data(), DWORD(flood.size()), &dwWritten, nullptr, 100),
              ERROR_TIMEOUT);
    EXPECT_EQ(dwWritten, 0u);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});
}

TEST_F(ReadWrite, PurgeLeavesAReadInProgressRunning) {
    CallerRecord record;
    char byte = 0;
    DWORD dwRead = 0;
    ASSERT_EQ(port.Read(&byte, 1, &dwRead, &record.overlapped), ERROR_SUCCESS);
    EXPECT_EQ(port.Purge(), ERROR_SUCCESS);
    pty.send("k");
    ASSERT_TRUE(record.signalled(2000));
    ASSERT_TRUE(GetOverlappedResult(port.portHandle(), &record.overlapped, &dwRead, FALSE));
    EXPECT_EQ(byte, 'k');
}

}  // namespace
