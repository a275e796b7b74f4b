// Line settings read back, reach the line, and undefined modes leave them alone.
#include <gtest/gtest.h>
#include <termios.h>

#include <vector>

#include "serial_on_pty.h"

namespace {

TEST_F(SerialOnPty, SetupReadsBackAsGiven) {
    EXPECT_EQ(port.Setup(CSerial::BaudRate57600, CSerial::DataBits8, CSerial::ParityNone,
                         CSerial::StopBitsOne),
              ERROR_SUCCESS);
    EXPECT_EQ(port.GetBaudrate(), CSerial::BaudRate57600);
    EXPECT_EQ(port.GetDataBits(), CSerial::DataBits8);
    EXPECT_EQ(port.GetParity(), CSerial::ParityNone);
    EXPECT_EQ(port.GetStopBits(), CSerial::StopBitsOne);
    EXPECT_EQ(port.GetLastErrorCode(), ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});
}

TEST_F(SerialOnPty, SetupWithParityEnablesParityAndReachesTheLine) {
    ASSERT_EQ(port.Setup(CSerial::BaudRate9600, CSerial::DataBits7, CSerial::ParityEven,
                         CSerial::StopBitsTwo),
              ERROR_SUCCESS);
    EXPECT_EQ(port.GetBaudrate(), CSerial::BaudRate9600);
    EXPECT_EQ(port.GetDataBits(), CSerial::DataBits7);
    EXPECT_EQ(port.GetParity(), CSerial::ParityEven);  // ParityNone unless fParity was set
    EXPECT_EQ(port.GetStopBits(), CSerial::StopBitsTwo);

    // The master side reports its slave's settings. A pty always carries 8 data bits
    // without parity, so speed and stop bits are what can be seen there.
    termios line{};
    ASSERT_EQ(tcgetattr(pty.masterFd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_NE(line.c_cflag & CSTOPB, 0u);

    EXPECT_EQ(port.Setup(CSerial::BaudRate19200, CSerial::DataBits8, CSerial::ParityNone,
                         CSerial::StopBitsOne),
              ERROR_SUCCESS);
    EXPECT_EQ(port.GetParity(), CSerial::ParityNone);
    ASSERT_EQ(tcgetattr(pty.masterFd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
    EXPECT_EQ(line.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialOnPty, ParityWithoutCheckingReadsAsNone) {
    SizedDcb dcb;
    ASSERT_TRUE(GetCommState(port.portHandle(), &dcb));
    dcb.Parity = EVENPARITY;
    dcb.fParity = 0;
    ASSERT_TRUE(SetCommState(port.portHandle(), &dcb));
    EXPECT_EQ(port.GetParity(), CSerial::ParityNone);

    dcb.fParity = 1;
    ASSERT_TRUE(SetCommState(port.portHandle(), &dcb));
    EXPECT_EQ(port.GetParity(), CSerial::ParityEven);
}

TEST_F(SerialOnPty, EveryHandshakingModeReadsBack) {
    for (CSerial::Handshake mode :
         {CSerial::HandshakeHardware, CSerial::HandshakeSoftware, CSerial::HandshakeNone}) {
        EXPECT_EQ(port.SetupHandshaking(mode), ERROR_SUCCESS);
        EXPECT_EQ(port.GetHandshaking(), mode);
    }
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});
}

TEST_F(SerialOnPty, HandshakingReadsHardwareOnlyWithBothHandshakeLines) {
    SizedDcb dcb;
    ASSERT_TRUE(GetCommState(port.portHandle(), &dcb));
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    ASSERT_TRUE(SetCommState(port.portHandle(), &dcb));
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeSoftware);

    dcb.fInX = 0;
    ASSERT_TRUE(SetCommState(port.portHandle(), &dcb));
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeNone);
}

TEST_F(SerialOnPty, UndefinedHandshakingModeChangesNothing) {
    ASSERT_EQ(port.SetupHandshaking(CSerial::HandshakeHardware), ERROR_SUCCESS);
    EXPECT_EQ(port.SetupHandshaking(CSerial::Handshake(3)), E_INVALIDARG);
    EXPECT_EQ(port.GetLastErrorCode(), -2147024809);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{Assertion("false")});
    EXPECT_EQ(port.GetHandshaking(), CSerial::HandshakeHardware);
}

TEST_F(SerialOnPty, UndefinedReadModeChangesNothing) {
    ASSERT_EQ(port.SetupReadTimeouts(CSerial::ReadBlocking), ERROR_SUCCESS);
    EXPECT_EQ(port.SetupReadTimeouts(CSerial::ReadMode(2)), E_INVALIDARG);
    EXPECT_EQ(port.GetLastErrorCode(), -2147024809);
    EXPECT_EQ(diagnostics.reports(), std::vector<CapturedReport>{Assertion("false")});
    // Still blocking: with nothing sent the read runs into its time limit.
    char byte;
    EXPECT_EQ(port.Read(&byte, 1, nullptr, nullptr, 100), ERROR_TIMEOUT);
}

TEST_F(SerialOnPty, EventCharacterAddsItsEventToTheMaskOnlyWhenAsked) {
    EXPECT_EQ(port.SetEventChar('~', false), ERROR_SUCCESS);
    EXPECT_EQ(port.GetEventChar(), '~');
    EXPECT_EQ(port.GetEventMask(), 0x00C1u);

    EXPECT_EQ(port.SetEventChar('\n', true), ERROR_SUCCESS);
    EXPECT_EQ(port.GetEventChar(), '\n');
    EXPECT_EQ(port.GetEventMask(), 0x00C3u);
}

TEST_F(SerialOnPty, EventMaskReadsBack) {
    const DWORD dwMask = CSerial::EventCharReceived | CSerial::EventTxQueueEmpty;
    EXPECT_EQ(port.SetMask(dwMask), ERROR_SUCCESS);
    EXPECT_EQ(port.GetEventMask(), dwMask);
}

TEST_F(SerialOnPty, SettingsThePortRefusesLeaveTheLineAsItWas) {
    ASSERT_EQ(port.Setup(CSerial::BaudRate57600), ERROR_SUCCESS);
    const LONG lCode = port.Setup(CSerial::BaudRate9600, CSerial::DataBits(9));
    EXPECT_NE(lCode, ERROR_SUCCESS);
    EXPECT_EQ(port.GetLastErrorCode(), lCode);
    EXPECT_EQ(
        diagnostics.reports(),
        std::vector<CapturedReport>{Trace("CSerial::Setup - Unable to set DCB information\n")});
    EXPECT_EQ(port.GetBaudrate(), CSerial::BaudRate57600);
    EXPECT_EQ(port.GetDataBits(), CSerial::DataBits8);
}

TEST_F(SerialOnPty, RefusedMaskKeepsThePreviousOne) {
    const LONG lCode = port.SetMask(0x80000000u);
    EXPECT_NE(lCode, ERROR_SUCCESS);
    EXPECT_EQ(diagnostics.reports(),
              std::vector<CapturedReport>{Trace("CSerial::SetMask - Unable to set event mask\n")});
    EXPECT_EQ(port.GetEventMask(), CSerial::DefaultEventMask);
}

}  // namespace
