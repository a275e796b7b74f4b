// Line settings, time-outs, masks and queue sizes on a real pty.
#include "comm_api.h"
#include "custom_baud.h"
#include "open_port.h"

#include <termios.h>

#include <cstring>

namespace {

// termios ioctls on a pty master act on its slave, so the far end can see the settings.
termios deviceSettings(const PtyPair& pty) {
    termios settings{};
    EXPECT_EQ(tcgetattr(pty.masterFd(), &settings), 0);
    return settings;
}

speed_t outputSpeed(const PtyPair& pty) {
    termios settings = deviceSettings(pty);
    return cfgetospeed(&settings);
}

DCB currentState(HANDLE port) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(GetCommState(port, &dcb));
    return dcb;
}

bool sameDcb(const DCB& a, const DCB& b) { return std::memcmp(&a, &b, sizeof(DCB)) == 0; }

using LineSettings = OpenPort;

TEST_F(LineSettings, OpenPutsTheDeviceIntoRawMode) {
    termios settings = deviceSettings(pty);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
}

TEST_F(LineSettings, EveryFieldReadsBackAsSet) {
    DCB wanted = currentState(port);
    wanted.BaudRate = 57600;
    wanted.ByteSize = 7;
    wanted.Parity = EVENPARITY;
    wanted.fParity = 1;
    wanted.StopBits = TWOSTOPBITS;
    wanted.fOutxCtsFlow = 1;
    wanted.fOutxDsrFlow = 1;
    wanted.fDtrControl = DTR_CONTROL_HANDSHAKE;
    wanted.fRtsControl = RTS_CONTROL_HANDSHAKE;
    wanted.fDsrSensitivity = 1;
    wanted.fTXContinueOnXoff = 1;
    wanted.fErrorChar = 1;
    wanted.fNull = 1;
    wanted.fAbortOnError = 1;
    wanted.XonLim = 123;
    wanted.XoffLim = 456;
    wanted.XonChar = 0x21;
    wanted.XoffChar = 0x22;
    wanted.ErrorChar = '?';
    wanted.EofChar = 0x1A;
    wanted.EvtChar = '\n';
    ASSERT_TRUE(SetCommState(port, &wanted));
    EXPECT_TRUE(sameDcb(currentState(port), wanted));

    // A pty always runs 8 bits without parity whatever it is told (the mapping of
    // those fields is checked in dcb_termios_test.cpp); the rest reaches the device.
    termios settings = deviceSettings(pty);
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B57600));
    EXPECT_TRUE(settings.c_cflag & CSTOPB);
    EXPECT_TRUE(settings.c_cflag & CRTSCTS);
    EXPECT_TRUE(settings.c_iflag & INPCK);
    EXPECT_EQ(settings.c_cc[VSTART], 0x21);
    EXPECT_EQ(settings.c_cc[VSTOP], 0x22);
}

// Every parity, with and without checking, reads back on a pty although the pty keeps
// 8 data bits and no parity on the line.
TEST_F(LineSettings, EveryParityReadsBackWithOrWithoutChecking) {
    for (BYTE parity : {EVENPARITY, ODDPARITY, MARKPARITY, SPACEPARITY, NOPARITY}) {
        for (DWORD checking : {0u, 1u}) {
            DCB wanted = currentState(port);
            wanted.Parity = parity;
            wanted.fParity = checking;
            wanted.ByteSize = 7;
            ASSERT_TRUE(SetCommState(port, &wanted))
                << "parity " << int(parity) << " checking " << checking << " error " << GetLastError();
            DCB got = currentState(port);
            EXPECT_EQ(got.Parity, parity);
            EXPECT_EQ(got.fParity, checking);
            EXPECT_EQ(got.ByteSize, 7);
        }
    }
}

TEST_F(LineSettings, SoftwareFlowControlSetsIxonAndIxoff) {
    DCB wanted = currentState(port);
    wanted.fOutX = 1;
    wanted.fInX = 1;
    ASSERT_TRUE(SetCommState(port, &wanted));
    termios settings = deviceSettings(pty);
    EXPECT_TRUE(settings.c_iflag & IXON);
    EXPECT_TRUE(settings.c_iflag & IXOFF);
    EXPECT_FALSE(settings.c_cflag & CRTSCTS);
}

TEST_F(LineSettings, NonStandardRateIsSetThroughTermios2) {
    DCB wanted = currentState(port);
    wanted.BaudRate = 250000;
    ASSERT_TRUE(SetCommState(port, &wanted));
    unsigned rate = 0;
    ASSERT_EQ(readCustomRate(pty.masterFd(), rate), 0);
    EXPECT_EQ(rate, 250000u);
    EXPECT_EQ(currentState(port).BaudRate, 250000u);

    wanted.BaudRate = 115200;
    ASSERT_TRUE(SetCommState(port, &wanted));
    EXPECT_EQ(outputSpeed(pty), static_cast<speed_t>(B115200));
}

TEST_F(LineSettings, OneAndAHalfStopBitsWithFiveDataBits) {
    DCB wanted = currentState(port);
    wanted.ByteSize = 5;
    wanted.StopBits = ONE5STOPBITS;
    ASSERT_TRUE(SetCommState(port, &wanted));
    EXPECT_TRUE(deviceSettings(pty).c_cflag & CSTOPB);
    EXPECT_EQ(currentState(port).StopBits, ONE5STOPBITS);
    EXPECT_EQ(currentState(port).ByteSize, 5);
}

TEST_F(LineSettings, RecordsTheDeviceCannotTakeChangeNothing) {
    DCB before = currentState(port);
    termios deviceBefore = deviceSettings(pty);
    auto withChange = [&](void (*change)(DCB&)) {
        DCB dcb = before;
        dcb.BaudRate = 19200;  // a valid change alongside the invalid one
        change(dcb);
        return dcb;
    };
    void (*invalidChanges[])(DCB&) = {
        [](DCB& d) { d.ByteSize = 4; },
        [](DCB& d) { d.ByteSize = 9; },
        [](DCB& d) { d.Parity = 5; },
        [](DCB& d) { d.StopBits = 3; },
        [](DCB& d) { d.StopBits = ONE5STOPBITS; },  // with 8 data bits
        [](DCB& d) { d.BaudRate = 0; },
        [](DCB& d) { d.fOutX = 1; d.XonChar = d.XoffChar = 0x11; },
        [](DCB& d) { d.fInX = 1; d.XonChar = d.XoffChar = 0x13; },
    };
    for (auto change : invalidChanges) {
        DCB dcb = withChange(change);
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port, &dcb));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_TRUE(sameDcb(currentState(port), before));
        termios deviceAfter = deviceSettings(pty);
        EXPECT_EQ(deviceAfter.c_cflag, deviceBefore.c_cflag);
        EXPECT_EQ(deviceAfter.c_iflag, deviceBefore.c_iflag);
    }
}

TEST_F(LineSettings, NullRecordIsInvalidParameter) {
    EXPECT_FALSE(SetCommState(port, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetCommState(port, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(LineSettings, SetCommConfigAppliesTheDefaultRecord) {
    DCB changed = currentState(port);
    changed.BaudRate = 57600;
    changed.ByteSize = 7;
    ASSERT_TRUE(SetCommState(port, &changed));

    COMMCONFIG config{};
    config.dwSize = sizeof config;
    DWORD size = sizeof config;
    ASSERT_TRUE(GetDefaultCommConfigA(pty.slavePath().c_str(), &config, &size));
    EXPECT_FALSE(SetCommConfig(port, &config, size - 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(SetCommConfig(port, &config, size));
    EXPECT_TRUE(sameDcb(currentState(port), config.dcb));
    EXPECT_EQ(outputSpeed(pty), static_cast<speed_t>(B9600));
}

TEST_F(LineSettings, NewPortHasZeroTimeoutsAndTheyReadBackAsSet) {
    COMMTIMEOUTS timeouts{1, 2, 3, 4, 5};
    ASSERT_TRUE(GetCommTimeouts(port, &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 0u);

    COMMTIMEOUTS wanted{MAXDWORD, 0, 0, 7, 9};
    ASSERT_TRUE(SetCommTimeouts(port, &wanted));
    COMMTIMEOUTS read{};
    ASSERT_TRUE(GetCommTimeouts(port, &read));
    EXPECT_EQ(std::memcmp(&read, &wanted, sizeof read), 0);
}

TEST_F(LineSettings, MaskReadsBackAndUnknownBitsAreRefused) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_BREAK | EV_ERR));
    DWORD mask = 0;
    ASSERT_TRUE(GetCommMask(port, &mask));
    EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR | EV_BREAK | EV_ERR));
    EXPECT_FALSE(SetCommMask(port, 0x4000));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(GetCommMask(port, &mask));
    EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR | EV_BREAK | EV_ERR));
}

TEST_F(LineSettings, SetupCommAcceptsQueueSizes) {
    EXPECT_TRUE(SetupComm(port, 0, 0));
    EXPECT_TRUE(SetupComm(port, 64, 64));
    EXPECT_FALSE(SetupComm(port, 0xFFFFFFFFu, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(LineSettings, ModemStatusFailsOnAPtyWhichHasNoModemLines) {
    DWORD status = 0;
    EXPECT_FALSE(GetCommModemStatus(port, &status));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_FALSE(GetCommModemStatus(nullptr, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
