// The pure translations of the platform layer. Several of them cannot be seen through
// a pty at all (it forces 8 data bits without parity, has no modem lines and no error
// counters), so they are checked here directly.
#include "byte_ring.h"
#include "comm_timeouts.h"
#include "dcb_termios.h"
#include "errno_map.h"
#include "line_status_map.h"
#include "overlapped_status.h"
#include "port_name.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace {

TEST(ErrnoTable, MapsEachCauseToTheCodeAWin32CallerExpects) {
    struct Row {
        int error;
        DWORD code;
    } rows[] = {
        {0, ERROR_SUCCESS},
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},
        {EBUSY, ERROR_ACCESS_DENIED},
        {EWOULDBLOCK, ERROR_ACCESS_DENIED},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EINVAL, ERROR_INVALID_PARAMETER},
        {ENOTTY, ERROR_INVALID_FUNCTION},
        {EIO, ERROR_GEN_FAILURE},
        {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
        {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {EBADF, ERROR_INVALID_HANDLE},
        {EFAULT, ERROR_NOACCESS},
        {ECANCELED, ERROR_OPERATION_ABORTED},
    };
    for (const Row& row : rows) EXPECT_EQ(win32FromErrno(row.error), row.code) << "errno " << row.error;
    EXPECT_EQ(win32FromErrno(EXDEV), static_cast<DWORD>(ERROR_GEN_FAILURE)) << "unknown errno";
}

DCB lineOf(BYTE byteSize, BYTE parity, BYTE stopBits) {
    DCB dcb = defaultDcb();
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.fParity = parity != NOPARITY;
    dcb.StopBits = stopBits;
    return dcb;
}

termios rawBase() {
    termios base{};
    cfmakeraw(&base);
    cfsetspeed(&base, B38400);
    return base;
}

TEST(DcbToTermios, CharacterSizeParityAndStopBits) {
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (BYTE bits = 5; bits <= 8; ++bits) {
        termios t = termiosFromDcb(rawBase(), lineOf(bits, NOPARITY, ONESTOPBIT));
        EXPECT_EQ(t.c_cflag & CSIZE, sizes[bits - 5]);
        EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB));
        EXPECT_FALSE(t.c_iflag & INPCK);
    }
    struct Row {
        BYTE parity;
        tcflag_t flags;
    } parities[] = {{ODDPARITY, PARENB | PARODD},
                    {EVENPARITY, PARENB},
                    {MARKPARITY, PARENB | PARODD | CMSPAR},
                    {SPACEPARITY, PARENB | CMSPAR}};
    for (const Row& row : parities) {
        termios t = termiosFromDcb(rawBase(), lineOf(7, row.parity, TWOSTOPBITS));
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), row.flags) << int(row.parity);
        EXPECT_TRUE(t.c_iflag & INPCK);
        EXPECT_TRUE(t.c_cflag & CSTOPB);
    }
    DCB unchecked = lineOf(8, EVENPARITY, ONESTOPBIT);
    unchecked.fParity = 0;
    EXPECT_FALSE(termiosFromDcb(rawBase(), unchecked).c_iflag & INPCK);
    EXPECT_TRUE(termiosFromDcb(rawBase(), lineOf(5, NOPARITY, ONE5STOPBITS)).c_cflag & CSTOPB);
}

TEST(DcbToTermios, FlowControl) {
    DCB cts = defaultDcb();
    cts.fOutxCtsFlow = 1;
    EXPECT_TRUE(termiosFromDcb(rawBase(), cts).c_cflag & CRTSCTS);
    DCB rts = defaultDcb();
    rts.fRtsControl = RTS_CONTROL_HANDSHAKE;
    EXPECT_TRUE(termiosFromDcb(rawBase(), rts).c_cflag & CRTSCTS);
    EXPECT_FALSE(termiosFromDcb(rawBase(), defaultDcb()).c_cflag & CRTSCTS);

    DCB xon = defaultDcb();
    xon.fOutX = 1;
    xon.XonChar = 'Q';
    xon.XoffChar = 'S';
    termios t = termiosFromDcb(rawBase(), xon);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_FALSE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 'Q');
    EXPECT_EQ(t.c_cc[VSTOP], 'S');
    xon.fOutX = 0;
    xon.fInX = 1;
    t = termiosFromDcb(rawBase(), xon);
    EXPECT_FALSE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
}

TEST(DcbToTermios, StandardRatesSetTheSpeedOthersKeepTheBase) {
    DCB dcb = defaultDcb();
    dcb.BaudRate = 57600;
    termios t = termiosFromDcb(rawBase(), dcb);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B57600));
    dcb.BaudRate = 250000;
    t = termiosFromDcb(rawBase(), dcb);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
    EXPECT_EQ(standardSpeedCode(250000), static_cast<speed_t>(B0));
    EXPECT_EQ(rateOfSpeedCode(B115200), 115200u);
}

TEST(DcbToTermios, TermiosHeldFieldsSurviveTheRoundTrip) {
    DCB dcb = lineOf(7, MARKPARITY, TWOSTOPBITS);
    dcb.BaudRate = 19200;
    dcb.fOutxCtsFlow = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fInX = 1;
    DCB back = dcbFromTermios(termiosFromDcb(rawBase(), dcb), 19200);
    EXPECT_EQ(back.ByteSize, 7);
    EXPECT_EQ(back.Parity, MARKPARITY);
    EXPECT_EQ(back.fParity, 1u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    EXPECT_EQ(back.fOutxCtsFlow, 1u);
    EXPECT_EQ(back.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(back.fInX, 1u);
    EXPECT_EQ(back.fOutX, 0u);
    EXPECT_EQ(dcbFromTermios(termiosFromDcb(rawBase(), lineOf(5, NOPARITY, ONE5STOPBITS)), 9600).StopBits,
              ONE5STOPBITS);
}

TEST(DcbValidation, RefusesWhatNoLineCanDo) {
    EXPECT_EQ(validateDcb(defaultDcb()), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(validateDcb(lineOf(5, NOPARITY, ONE5STOPBITS)), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(validateDcb(lineOf(5, NOPARITY, TWOSTOPBITS)), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(validateDcb(lineOf(6, NOPARITY, ONE5STOPBITS)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(validateDcb(lineOf(4, NOPARITY, ONESTOPBIT)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(validateDcb(lineOf(8, 5, ONESTOPBIT)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(validateDcb(lineOf(8, NOPARITY, 3)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DCB sameChars = defaultDcb();
    sameChars.XonChar = sameChars.XoffChar;
    EXPECT_EQ(validateDcb(sameChars), static_cast<DWORD>(ERROR_SUCCESS)) << "XON/XOFF is off";
    sameChars.fInX = 1;
    EXPECT_EQ(validateDcb(sameChars), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A pty has no modem lines and no error counters, so these translations are only
// visible here.
TEST(LineStatus, ModemLinesBecomeMsBits) {
    EXPECT_EQ(modemStatusFromLines(0), 0u);
    EXPECT_EQ(modemStatusFromLines(TIOCM_CTS), static_cast<DWORD>(MS_CTS_ON));
    EXPECT_EQ(modemStatusFromLines(TIOCM_DSR), static_cast<DWORD>(MS_DSR_ON));
    EXPECT_EQ(modemStatusFromLines(TIOCM_RNG), static_cast<DWORD>(MS_RING_ON));
    EXPECT_EQ(modemStatusFromLines(TIOCM_CAR), static_cast<DWORD>(MS_RLSD_ON));
    EXPECT_EQ(modemStatusFromLines(TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS),
              static_cast<DWORD>(MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON));
}

TEST(LineStatus, LineChangesBecomeEvents) {
    EXPECT_EQ(eventsFromLineChange(TIOCM_CTS, TIOCM_CTS), 0u);
    EXPECT_EQ(eventsFromLineChange(0, TIOCM_CTS | TIOCM_RNG), static_cast<DWORD>(EV_CTS | EV_RING));
    EXPECT_EQ(eventsFromLineChange(TIOCM_DSR | TIOCM_CAR, 0), static_cast<DWORD>(EV_DSR | EV_RLSD));
    EXPECT_EQ(eventsFromLineChange(0, TIOCM_DTR | TIOCM_RTS), 0u) << "output lines are not events";
}

TEST(LineStatus, CounterDeltasBecomeErrorsAndEvents) {
    serial_icounter_struct before{};
    serial_icounter_struct now{};
    EXPECT_EQ(errorsFromCounters(before, now), 0u);
    EXPECT_EQ(eventsFromCounters(before, now), 0u);
    now.rx = 100;
    now.cts = 3;
    EXPECT_EQ(errorsFromCounters(before, now), 0u) << "received bytes and line changes are no errors";
    now.buf_overrun = 1;
    EXPECT_EQ(errorsFromCounters(before, now), static_cast<DWORD>(CE_OVERRUN));
    EXPECT_EQ(eventsFromCounters(before, now), static_cast<DWORD>(EV_ERR));
    now = {};
    now.parity = 2;
    now.frame = 1;
    EXPECT_EQ(errorsFromCounters(before, now), static_cast<DWORD>(CE_RXPARITY | CE_FRAME));
    now = {};
    now.brk = 1;
    EXPECT_EQ(errorsFromCounters(before, now), static_cast<DWORD>(CE_BREAK));
    EXPECT_EQ(eventsFromCounters(before, now), static_cast<DWORD>(EV_BREAK));
    before.overrun = INT_MAX;
    now = before;
    now.overrun = INT_MIN;  // the counter wrapped
    EXPECT_EQ(errorsFromCounters(before, now), static_cast<DWORD>(CE_OVERRUN));
}

TEST(ReadTimeouts, EachRecordShapeHasItsWin32Meaning) {
    ReadPlan immediate = planRead({MAXDWORD, 0, 0, 0, 0}, 10);
    EXPECT_EQ(immediate.style, ReadStyle::Immediate);

    ReadPlan firstByte = planRead({MAXDWORD, MAXDWORD, 250, 0, 0}, 10);
    EXPECT_EQ(firstByte.style, ReadStyle::FirstByte);
    EXPECT_EQ(firstByte.total, Milliseconds(250));

    ReadPlan forever = planRead({0, 0, 0, 0, 0}, 10);
    EXPECT_EQ(forever.style, ReadStyle::Counted);
    EXPECT_FALSE(forever.total);
    EXPECT_FALSE(forever.interval);

    ReadPlan total = planRead({0, 10, 100, 0, 0}, 5);
    EXPECT_EQ(total.total, Milliseconds(150));
    ReadPlan huge = planRead({0, MAXDWORD, MAXDWORD, 0, 0}, MAXDWORD);
    EXPECT_FALSE(huge.total) << "a limit of many lifetimes is no limit, not an overflow";
    EXPECT_EQ(planRead({0, MAXDWORD, 0, 0, 0}, 2).total, Milliseconds(2LL * MAXDWORD));

    ReadPlan interval = planRead({20, 0, 0, 0, 0}, 5);
    EXPECT_EQ(interval.interval, Milliseconds(20));
    EXPECT_FALSE(interval.total);

    EXPECT_EQ(writeTimeLimit({0, 0, 0, 2, 10}, 5), Milliseconds(20));
    EXPECT_FALSE(writeTimeLimit({0, 0, 0, 0, 0}, 5));
    EXPECT_EQ(validateTimeouts({MAXDWORD, MAXDWORD, MAXDWORD, 0, 0}),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(InputQueue, WrapsAroundAndKeepsOrder) {
    ByteRing ring(4);
    const std::uint8_t in[] = {1, 2, 3, 4, 5, 6};
    std::uint8_t out[6] = {};
    EXPECT_EQ(ring.push(in, 3), 3u);
    EXPECT_EQ(ring.pop(out, 2), 2u);
    EXPECT_EQ(ring.push(in + 3, 3), 3u);  // wraps
    EXPECT_EQ(ring.push(in, 1), 0u) << "full";
    EXPECT_EQ(ring.pop(out, 6), 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{3, 4, 5, 6}));
    EXPECT_TRUE(ring.empty());
}

TEST(InputQueue, ResizeKeepsTheBytesItHolds) {
    ByteRing ring(4);
    const std::uint8_t in[] = {1, 2, 3, 4};
    std::uint8_t out[4] = {};
    ring.push(in, 2);
    ring.pop(out, 1);
    ring.push(in + 2, 2);  // holds 2 3 4, wrapped
    ring.resize(2);
    EXPECT_EQ(ring.capacity(), 3u) << "never below what it holds";
    ring.resize(16);
    EXPECT_EQ(ring.pop(out, 4), 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{2, 3, 4}));
}

TEST(PortNames, ComNamesAndPaths) {
    std::string path;
    unsetenv("COM3");
    for (const char* name : {"COM3", "com3", "\\\\.\\COM3"}) {
        ASSERT_EQ(resolvePortName(name, path), static_cast<DWORD>(ERROR_SUCCESS)) << name;
        EXPECT_EQ(path, "/dev/ttyS2") << name;
    }
    setenv("COM3", "/dev/ttyUSB0", 1);
    ASSERT_EQ(resolvePortName("COM3", path), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(path, "/dev/ttyUSB0");
    setenv("COM3", "", 1);
    ASSERT_EQ(resolvePortName("COM3", path), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(path, "/dev/ttyS2") << "an empty variable counts as unset";
    unsetenv("COM3");
    ASSERT_EQ(resolvePortName("/dev/pts/4", path), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(path, "/dev/pts/4");

    EXPECT_EQ(resolvePortName(nullptr, path), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(resolvePortName("COM01", path), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(resolvePortName("ttyS0", path), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(resolvePortName(("/" + std::string(PATH_MAX, 'a')).c_str(), path),
              static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST(CompletionStatus, FailuresCarryTheirCodeAndNeverLookPending) {
    EXPECT_EQ(statusFromError(ERROR_SUCCESS), 0u);
    for (DWORD code : {1u, 5u, 995u, 1167u, 0xFFFFu}) {
        ULONG_PTR status = statusFromError(code);
        EXPECT_NE(status, static_cast<ULONG_PTR>(STATUS_PENDING));
        EXPECT_NE(status, 0u);
        EXPECT_EQ(errorFromStatus(status), code);
    }
}

}  // namespace
