// Opening and closing a port: the state after Open, refusals, probing and release.
#include <gtest/gtest.h>

#include <vector>

#include "serial_on_pty.h"

namespace {

constexpr const char* kMissingPort = "/dev/motelog-no-such-port";

TEST_F(SerialOnPty, OpensWithTheDefaultMaskAndNonBlockingReads) {
    EXPECT_EQ(port.GetEventMask(), CSerial::DefaultEventMask);
    unsigned char buffer[4];
    DWORD dwRead = 99;
    // Nothing has been sent: a non-blocking read comes back at once with nothing.
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwRead, nullptr, 2000), ERROR_SUCCESS);
    EXPECT_EQ(dwRead, 0u);
    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 4), std::vector<unsigned char>(4, 0xDC));
}

TEST_F(SerialOnPty, SecondOpenIsRefusedAndTheOpenPortKeepsWorking) {
    EXPECT_EQ(port.Open(pty.slavePath().c_str()), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{Trace("CSerial::Open - Port already opened\n")});
    EXPECT_EQ(port.Write("ok"), ERROR_SUCCESS);
    EXPECT_EQ(pty.receive(2, std::chrono::milliseconds(2000)),
              (std::vector<std::uint8_t>{'o', 'k'}));

    EXPECT_EQ(port.Close(), ERROR_SUCCESS);
    EXPECT_EQ(port.GetBaudrate(), CSerial::BaudRateUnknown);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_INVALID_HANDLE);
}

TEST_F(SerialOnPty, ClosingTwiceWarnsTheSecondTimeAndTheObjectCanOpenAgain) {
    EXPECT_EQ(port.Close(), ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});
    EXPECT_EQ(port.Close(), ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{
                  Trace("CSerial::Close - Method called when device is not open\n")});
    EXPECT_EQ(port.Open(pty.slavePath().c_str()), ERROR_SUCCESS);
    EXPECT_EQ(port.GetEventMask(), CSerial::DefaultEventMask);
}

TEST(OpenPort, MissingPortLeavesTheObjectClosed) {
    DiagnosticsCapture diagnostics;
    CSerial port;
    EXPECT_EQ(port.Open(kMissingPort), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(port.Setup(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(diagnostics.reports(),
              (std::vector<CapturedReport>{Trace("CSerial::Open - Unable to open port\n"),
                                           Trace("CSerial::Setup - Device is not opened\n")}));
    EXPECT_EQ(CSerial::ProbePort(kMissingPort), CSerial::PortAbsent);
}

TEST(OpenPort, APortHeldByAnotherOwnerIsBusyUntilReleased) {
    PtyPair pty;
    DiagnosticsCapture diagnostics;
    CSerial owner;
    CSerial other;
    EXPECT_EQ(CSerial::ProbePort(pty.slavePath().c_str()), CSerial::PortFree);
    ASSERT_EQ(owner.Open(pty.slavePath().c_str()), ERROR_SUCCESS);

    EXPECT_EQ(other.Open(pty.slavePath().c_str()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{Trace("CSerial::Open - Unable to open port\n")});
    EXPECT_EQ(CSerial::ProbePort(pty.slavePath().c_str()), CSerial::PortBusy);

    owner.Close();
    EXPECT_EQ(CSerial::ProbePort(pty.slavePath().c_str()), CSerial::PortFree);
    EXPECT_EQ(other.Open(pty.slavePath().c_str()), ERROR_SUCCESS);
    other.Close();
}

TEST(OpenPort, SmallQueueSizesAreAssertedButStillApplied) {
    PtyPair pty;
    DiagnosticsCapture diagnostics;
    CSerial port;
    EXPECT_EQ(port.Open(pty.slavePath().c_str(), 8, 0), ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(), (std::vector<CapturedReport>{Assertion("dwInQueue >= 16"),
                                                                  Assertion("dwOutQueue >= 16")}));
    EXPECT_EQ(port.GetEventMask(), CSerial::DefaultEventMask);
    port.Close();

    diagnostics.clear();
    EXPECT_EQ(port.Open(pty.slavePath().c_str(), 4096, 4096), ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});
    port.Close();
}

TEST(OpenPort, DestroyingAnOpenObjectWarnsAndReleasesThePort) {
    PtyPair pty;
    DiagnosticsCapture diagnostics;
    {
        CSerial port;
        ASSERT_EQ(port.Open(pty.slavePath().c_str()), ERROR_SUCCESS);
    }
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{Trace("CSerial::~CSerial - Serial port not closed\n")});
    EXPECT_EQ(CSerial::ProbePort(pty.slavePath().c_str()), CSerial::PortFree);
}

// A derived class sees the calls that the class makes through its virtual table.
class RecordingSerial : public CSerial {
public:
    using CSerial::Write;
    LONG SetMask(DWORD dwMask) override {
        masks.push_back(dwMask);
        return CSerial::SetMask(dwMask);
    }
    LONG Write(const void* pBuffer, DWORD dwBytesToWrite, DWORD* pdwWritten,
               LPOVERLAPPED lpOverlapped, DWORD dwMaxWait) override {
        writes.push_back(dwBytesToWrite);
        return CSerial::Write(pBuffer, dwBytesToWrite, pdwWritten, lpOverlapped, dwMaxWait);
    }
    std::vector<DWORD> masks;
    std::vector<DWORD> writes;
};

TEST(VirtualDispatch, OpenSetEventCharAndTextWritesGoThroughOverrides) {
    PtyPair pty;
    DiagnosticsCapture diagnostics;
    RecordingSerial port;
    ASSERT_EQ(port.Open(pty.slavePath().c_str()), ERROR_SUCCESS);
    EXPECT_EQ(port.SetEventChar('\n'), ERROR_SUCCESS);
    EXPECT_EQ(port.masks, (std::vector<DWORD>{0x00C1, 0x00C3}));
    EXPECT_EQ(port.Write("abc"), ERROR_SUCCESS);
    EXPECT_EQ(port.writes, std::vector<DWORD>{3});
    port.Close();
}

TEST(OpenPort, RefusedQueueSizesFailTheOpenAndLeaveTheObjectClosed) {
    PtyPair pty;
    DiagnosticsCapture diagnostics;
    CSerial port;
    const LONG lCode = port.Open(pty.slavePath().c_str(), 0xFFFFFFFF, 4096);
    EXPECT_NE(lCode, ERROR_SUCCESS);
    EXPECT_EQ(port.GetLastErrorCode(), lCode);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{Trace("CSerial::Open - Unable to setup the COM-port\n")});
    EXPECT_EQ(CSerial::ProbePort(pty.slavePath().c_str()), CSerial::PortFree);
    EXPECT_EQ(port.Open(pty.slavePath().c_str()), ERROR_SUCCESS);
    port.Close();
}

}  // namespace
