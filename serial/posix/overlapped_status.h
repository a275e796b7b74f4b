// The completion status kept in OVERLAPPED::Internal. Success is 0, an operation in
// progress STATUS_PENDING, and a failure an NTSTATUS-style error value carrying the
// Win32 code, so GetOverlappedResult can hand the code back.
#pragma once

#include "comm_api.h"

// Error severity plus the customer bit, so no failure can equal STATUS_PENDING.
constexpr ULONG_PTR kFailureStatusBits = 0xE0000000u;

constexpr ULONG_PTR statusFromError(DWORD code) {
    return code == ERROR_SUCCESS ? 0 : (kFailureStatusBits | (code & 0xFFFFu));
}

constexpr DWORD errorFromStatus(ULONG_PTR status) {
    return static_cast<DWORD>(status & 0xFFFFu);
}

// The status, read with the ordering that makes InternalHigh (written before it) valid.
inline ULONG_PTR loadStatus(const OVERLAPPED& record) {
    return __atomic_load_n(&record.Internal, __ATOMIC_ACQUIRE);
}

// Publishes the outcome: count first, then the status that makes it visible.
inline void publishOutcome(OVERLAPPED& record, ULONG_PTR status, DWORD count) {
    record.InternalHigh = count;
    __atomic_store_n(&record.Internal, status, __ATOMIC_RELEASE);
}
