// Opening and closing ports: names, exclusivity, failures.
#include "comm_api.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

HANDLE openPort(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

// The Win32 code a fresh process gets when it opens `name` (0 when it succeeds).
DWORD openCodeInChildProcess(const std::string& name) {
    pid_t child = fork();
    if (child == 0) {
        HANDLE port = openPort(name);
        _exit(port == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError() & 0xFF) : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status)) : 0xFFu;
}

// Sets an environment variable for the duration of a test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { unsetenv(name_); }

private:
    const char* name_;
};

TEST(PortOpen, OpensAPtyAndClosesIt) {
    PtyPair pty;
    HANDLE port = openPort(pty.slavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(CloseHandle(port));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(port));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(PortOpen, MissingDeviceIsFileNotFound) {
    EXPECT_EQ(openPort("/dev/ttyDoesNotExist7"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(PortOpen, PathThatIsNoTerminalIsRefusedAsNoPort) {
    EXPECT_EQ(openPort("/dev/null"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(PortOpen, NamesThatAreNoPortAreFileNotFound) {
    for (const char* name : {"COM0", "COMX", "COM1a", "LPT1", "", "COM257"}) {
        EXPECT_EQ(openPort(name), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
    }
}

TEST(PortOpen, OnlyOpenExistingIsAccepted) {
    PtyPair pty;
    EXPECT_EQ(CreateFileA(pty.slavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, 2,
                          FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(PortOpen, SecondOpenInTheSameProcessIsAccessDenied) {
    PtyPair pty;
    HANDLE first = openPort(pty.slavePath());
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openPort(pty.slavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(first);
    HANDLE again = openPort(pty.slavePath());
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "closing must release the port";
    CloseHandle(again);
}

// These tests run as root in CI: the flock keeps root out too, where TIOCEXCL would not.
TEST(PortOpen, OpenFromAnotherProcessIsAccessDeniedWhileHeld) {
    PtyPair pty;
    HANDLE port = openPort(pty.slavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openCodeInChildProcess(pty.slavePath()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(port);
    EXPECT_EQ(openCodeInChildProcess(pty.slavePath()), 0u);
}

TEST(PortOpen, ComNameUsesTheEnvironmentVariableOfTheSameName) {
    PtyPair pty;
    ScopedEnv env("COM7", pty.slavePath());
    for (const char* name : {"COM7", "com7", "\\\\.\\COM7", "\\\\.\\cOm7"}) {
        HANDLE port = openPort(name);
        EXPECT_NE(port, INVALID_HANDLE_VALUE) << name;
        CloseHandle(port);
    }
}

TEST(PortOpen, ComNameWithoutVariableNamesTtyS) {
    // /dev/ttyS199 does not exist, so the mapping shows in the "not found" answer and
    // in what GetDefaultCommConfigA finds for a port that does exist.
    unsetenv("COM200");
    EXPECT_EQ(openPort("COM200"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    if (access("/dev/ttyS0", F_OK) == 0) {
        unsetenv("COM1");
        COMMCONFIG config{};
        DWORD size = sizeof config;
        EXPECT_TRUE(GetDefaultCommConfigA("COM1", &config, &size));
    }
}

TEST(PortOpen, CloseAndReopenGivesAWorkingPortAgain) {
    PtyPair pty;
    for (int round = 0; round < 3; ++round) {
        HANDLE port = openPort(pty.slavePath());
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        OVERLAPPED record{};
        EXPECT_TRUE(WriteFile(port, "x", 1, &written, &record));
        EXPECT_EQ(pty.receive(1, std::chrono::milliseconds(500)).size(), 1u);
        CloseHandle(port);
    }
}

TEST(DefaultCommConfig, SmallBufferAsksForTheRecordSize) {
    PtyPair pty;
    COMMCONFIG config{};
    DWORD size = 10;
    EXPECT_FALSE(GetDefaultCommConfigA(pty.slavePath().c_str(), &config, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 52u);
}

TEST(DefaultCommConfig, AbsentDeviceFails) {
    COMMCONFIG config{};
    DWORD size = sizeof config;
    EXPECT_FALSE(GetDefaultCommConfigA("/dev/ttyDoesNotExist7", &config, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(DefaultCommConfig, Is9600EightNoneOneWithoutHandshake) {
    PtyPair pty;
    ScopedEnv env("COM9", pty.slavePath());
    COMMCONFIG config{};
    DWORD size = sizeof config;
    ASSERT_TRUE(GetDefaultCommConfigA("COM9", &config, &size));
    EXPECT_EQ(size, 52u);
    EXPECT_EQ(config.dwSize, 52u);
    EXPECT_EQ(config.wVersion, 1u);
    EXPECT_EQ(config.dwProviderSubType, 1u);
    const DCB& dcb = config.dcb;
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_GT(dcb.XonLim, 0);
    EXPECT_GT(dcb.XoffLim, 0);
}

}  // namespace
