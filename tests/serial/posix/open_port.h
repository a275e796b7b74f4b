// A port opened through the Win32 API on the slave side of a pty pair, closed again
// when the test ends.
#pragma once

#include "comm_api.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

class OpenPort : public ::testing::Test {
protected:
    void SetUp() override {
        port = CreateFileA(pty.slavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    }

    void TearDown() override {
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    }

    void setTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
        COMMTIMEOUTS timeouts{interval, multiplier, constant, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    }

    PtyPair pty;
    HANDLE port = INVALID_HANDLE_VALUE;
};

// The record's status, read the way another thread may be writing it.
inline ULONG_PTR statusOf(const OVERLAPPED& record) {
    return __atomic_load_n(&record.Internal, __ATOMIC_ACQUIRE);
}

// An unnamed event handle closed at the end of the scope.
class ScopedEvent {
public:
    explicit ScopedEvent(bool manualReset = true)
        : handle_(CreateEventA(nullptr, manualReset, FALSE, nullptr)) {}
    ~ScopedEvent() { CloseHandle(handle_); }
    ScopedEvent(const ScopedEvent&) = delete;
    ScopedEvent& operator=(const ScopedEvent&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};
