// Every operation on an object whose port is not open: its code, failure value and the
// one trace text it leaves.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "diagnostics_capture.h"
#include "serial.h"

namespace {

struct ClosedCase {
    std::string name;
    std::function<long long(CSerial&)> call;
    long long failureValue;
    std::string trace;
};

class ClosedPort : public testing::TestWithParam<ClosedCase> {};

TEST_P(ClosedPort, FailsWithInvalidHandleAndItsTrace) {
    const ClosedCase& c = GetParam();
    DiagnosticsCapture diagnostics;
    CSerial port;
    EXPECT_EQ(c.call(port), c.failureValue);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{Trace(c.trace)});
}

const char kBytes[] = "abc";

INSTANTIATE_TEST_SUITE_P(
    EveryOperation, ClosedPort,
    testing::Values(
        ClosedCase{"Setup", [](CSerial& p) { return p.Setup(); }, 6,
                   "CSerial::Setup - Device is not opened\n"},
        ClosedCase{"SetEventChar", [](CSerial& p) { return p.SetEventChar('x'); }, 6,
                   "CSerial::SetEventChar - Device is not opened\n"},
        ClosedCase{"SetMask", [](CSerial& p) { return p.SetMask(); }, 6,
                   "CSerial::SetMask - Device is not opened\n"},
        ClosedCase{"SetupHandshaking",
                   [](CSerial& p) { return p.SetupHandshaking(CSerial::HandshakeNone); }, 6,
                   "CSerial::SetupHandshaking - Device is not opened\n"},
        ClosedCase{"SetupHandshakingUndefined",
                   [](CSerial& p) { return p.SetupHandshaking(CSerial::Handshake(3)); }, 6,
                   "CSerial::SetupHandshaking - Device is not opened\n"},
        ClosedCase{"SetupReadTimeouts",
                   [](CSerial& p) { return p.SetupReadTimeouts(CSerial::ReadBlocking); }, 6,
                   "CSerial::SetupReadTimeouts - Device is not opened\n"},
        ClosedCase{"SetupReadTimeoutsUndefined",
                   [](CSerial& p) { return p.SetupReadTimeouts(CSerial::ReadMode(2)); }, 6,
                   "CSerial::SetupReadTimeouts - Device is not opened\n"},
        ClosedCase{"GetBaudrate", [](CSerial& p) { return p.GetBaudrate(); }, -1,
                   "CSerial::GetBaudrate - Device is not opened\n"},
        ClosedCase{"GetDataBits", [](CSerial& p) { return p.GetDataBits(); }, -1,
                   "CSerial::GetDataBits - Device is not opened\n"},
        ClosedCase{"GetParity", [](CSerial& p) { return p.GetParity(); }, -1,
                   "CSerial::GetParity - Device is not opened\n"},
        ClosedCase{"GetStopBits", [](CSerial& p) { return p.GetStopBits(); }, -1,
                   "CSerial::GetStopBits - Device is not opened\n"},
        ClosedCase{"GetHandshaking", [](CSerial& p) { return p.GetHandshaking(); }, -1,
                   "CSerial::GetHandshaking - Device is not opened\n"},
        ClosedCase{"GetEventMask", [](CSerial& p) { return p.GetEventMask(); }, 0,
                   "CSerial::GetEventMask - Device is not opened\n"},
        ClosedCase{"GetEventChar", [](CSerial& p) { return p.GetEventChar(); }, 0,
                   "CSerial::GetEventChar - Device is not opened\n"},
        ClosedCase{"WriteText", [](CSerial& p) { return p.Write("abc"); }, 6,
                   "CSerial::Write - Device is not opened\n"},
        ClosedCase{"WriteData", [](CSerial& p) { return p.Write(kBytes, DWORD{3}); }, 6,
                   "CSerial::Write - Device is not opened\n"},
        ClosedCase{"WaitEvent", [](CSerial& p) { return p.WaitEvent(); }, 6,
                   "CSerial::WaitEvent - Device is not opened\n"},
        ClosedCase{"Purge", [](CSerial& p) { return p.Purge(); }, 6,
                   "CSerial::Purge - Device is not opened\n"},
        ClosedCase{"Break", [](CSerial& p) { return p.Break(); }, 6,
                   "CSerial::Break - Device is not opened\n"},
        ClosedCase{"GetError", [](CSerial& p) { return p.GetError(); }, 0,
                   "CSerial::GetError - Device is not opened\n"}),
    [](const testing::TestParamInfo<ClosedCase>& param) { return param.param.name; });

// The modem line queries do not test for an open port: the platform's query fails on
// the null handle and its code (not 6 necessarily, but never 0) is kept.
struct LineQueryCase {
    std::string name;
    bool (CSerial::*query)();
    std::string trace;
};

class ClosedPortLineQuery : public testing::TestWithParam<LineQueryCase> {};

TEST_P(ClosedPortLineQuery, FailsWithThePlatformCodeAndItsTrace) {
    DiagnosticsCapture diagnostics;
    CSerial port;
    EXPECT_FALSE((port.*GetParam().query)());
    EXPECT_NE(port.GetLastErrorCode(), ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{Trace(GetParam().trace)});
}

INSTANTIATE_TEST_SUITE_P(
    EveryLine, ClosedPortLineQuery,
    testing::Values(LineQueryCase{"CTS", &CSerial::GetCTS,
                                  "CSerial::GetCTS - Unable to obtain the modem status\n"},
                    LineQueryCase{"DSR", &CSerial::GetDSR,
                                  "CSerial::GetDSR - Unable to obtain the modem status\n"},
                    LineQueryCase{"Ring", &CSerial::GetRing,
                                  "CSerial::GetRing - Unable to obtain the modem status"},
                    LineQueryCase{"RLSD", &CSerial::GetRLSD,
                                  "CSerial::GetRLSD - Unable to obtain the modem status"}),
    [](const testing::TestParamInfo<LineQueryCase>& param) { return param.param.name; });

TEST(ClosedPortObject, StartsWithoutErrorAndClosesWithAWarning) {
    DiagnosticsCapture diagnostics;
    CSerial port;
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_SUCCESS);
    EXPECT_EQ(port.Close(), ERROR_SUCCESS);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{
                  Trace("CSerial::Close - Method called when device is not open\n")});
}

TEST(ClosedPortObject, ReadLeavesTheBufferAloneAndZeroesTheCount) {
    DiagnosticsCapture diagnostics;
    CSerial port;
    unsigned char buffer[4] = {1, 2, 3, 4};
    DWORD dwRead = 77;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &dwRead), ERROR_INVALID_HANDLE);
    EXPECT_EQ(dwRead, 0u);
    EXPECT_EQ(buffer[0] + buffer[1] + buffer[2] + buffer[3], 10);
}

TEST(ClosedPortObject, ReportsAnAsynchronousTransferWithoutACount) {
    DiagnosticsCapture diagnostics;
    CSerial port;
    OVERLAPPED overlapped{};
    char buffer[2];
    port.Read(buffer, sizeof buffer, nullptr, &overlapped);
    port.Write("ab", nullptr, &overlapped);
    EXPECT_EQ(diagnostics.reports(),
              (std::vector<CapturedReport>{Assertion("!lpOverlapped || pdwRead"),
                                           Trace("CSerial::Read - Device is not opened\n"),
                                           Assertion("!lpOverlapped || pdwWritten"),
                                           Trace("CSerial::Write - Device is not opened\n")}));
}

TEST(ClosedPortObject, GetEventTypeWarnsAndKeepsTheLastCode) {
    DiagnosticsCapture diagnostics;
    CSerial port;
    port.Purge();
    diagnostics.clear();
    EXPECT_EQ(port.GetEventType(), CSerial::EventNone);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{
                  Trace("CSerial::GetEventType - Event 00000000h not within mask 00000000h.\n")});
}

}  // namespace
