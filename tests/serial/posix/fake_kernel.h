// A replacement system-call table for injecting what a pty cannot show: interrupted
// and short transfers, failing calls, modem lines and serial error counters. Only the
// descriptor of the device opened last is affected; everything else passes through.
#pragma once

#include "sys_calls.h"

#include <linux/serial.h>

#include <atomic>
#include <cstddef>
#include <mutex>

struct FakeKernel {
    // Installs the fake table; the destructor puts the real calls back.
    FakeKernel();
    ~FakeKernel();
    FakeKernel(const FakeKernel&) = delete;
    FakeKernel& operator=(const FakeKernel&) = delete;

    std::atomic<int> openError{0};
    std::atomic<int> flockError{0};
    std::atomic<int> tcsetattrError{0};
    std::atomic<int> lineControlError{0};  // TIOCMBIS / TIOCMBIC
    std::atomic<int> readError{0};
    std::atomic<bool> interruptEveryOtherCall{false};  // read, write, poll, ioctl
    std::atomic<std::size_t> writeLimit{0};            // bytes per write; 0: no limit
    std::atomic<int> interruptions{0};                 // EINTRs handed out
    std::atomic<int> tcsetattrCalls{0};

    std::atomic<bool> hasModemLines{false};
    std::atomic<int> modemLines{0};  // TIOCM_ bits

    // TIOCGICOUNT answers when set; change the counters under countersMutex.
    std::atomic<bool> hasCounters{false};
    std::mutex countersMutex;
    serial_icounter_struct counters{};

    std::atomic<int> deviceFd{-1};
};
