// ReadFile, WriteFile, WaitCommEvent and the calls that collect or cancel them.
#include "comm_api.h"
#include "event_object.h"
#include "handle_registry.h"
#include "last_error.h"
#include "overlapped_status.h"
#include "port_call.h"

#include <thread>

namespace {

// Fills in who started the request and where its outcome goes: the caller's record,
// or `own` for a call without one. Returns ERROR_SUCCESS or why the record is unusable.
DWORD prepareRequest(IoRequest& request, IoRequest::Kind kind, OVERLAPPED* record, OVERLAPPED& own) {
    request.kind = kind;
    request.owner = std::this_thread::get_id();
    request.record = record ? record : &own;
    if (record && record->hEvent) {
        request.event = std::dynamic_pointer_cast<EventObject>(findHandle(record->hEvent));
        if (!request.event) return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}

// The result of a start: without a record (or on a port opened without overlapped
// I/O) the call waits for the operation to end, as a synchronous call does.
DWORD settle(Port& port, DWORD outcome, const IoRequest& request, bool callerRecord, DWORD& count) {
    if (outcome != ERROR_IO_PENDING || (callerRecord && port.overlapped())) return outcome;
    port.awaitCompletion(*request.record);
    count = static_cast<DWORD>(request.record->InternalHigh);
    return errorFromStatus(loadStatus(*request.record));
}

}  // namespace

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    return callOnPort(hFile, [&](Port& port) {
        if (lpBuffer == nullptr && nNumberOfBytesToRead != 0) return DWORD{ERROR_NOACCESS};
        OVERLAPPED own{};
        IoRequest request;
        if (DWORD invalid = prepareRequest(request, IoRequest::Kind::Read, lpOverlapped, own)) return invalid;
        request.readBuffer = static_cast<std::uint8_t*>(lpBuffer);
        request.size = nNumberOfBytesToRead;
        DWORD count = 0;
        if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
        DWORD outcome = port.startRead(request, count);
        outcome = settle(port, outcome, request, lpOverlapped != nullptr, count);
        if (lpNumberOfBytesRead && outcome != ERROR_IO_PENDING) *lpNumberOfBytesRead = count;
        return outcome;
    });
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    return callOnPort(hFile, [&](Port& port) {
        if (lpBuffer == nullptr && nNumberOfBytesToWrite != 0) return DWORD{ERROR_NOACCESS};
        OVERLAPPED own{};
        IoRequest request;
        if (DWORD invalid = prepareRequest(request, IoRequest::Kind::Write, lpOverlapped, own)) return invalid;
        request.writeBuffer = static_cast<const std::uint8_t*>(lpBuffer);
        request.size = nNumberOfBytesToWrite;
        DWORD count = 0;
        if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
        DWORD outcome = port.startWrite(request, count);
        outcome = settle(port, outcome, request, lpOverlapped != nullptr, count);
        if (lpNumberOfBytesWritten && outcome != ERROR_IO_PENDING) *lpNumberOfBytesWritten = count;
        return outcome;
    });
}

BOOL WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped) {
    return callOnPort(hFile, [&](Port& port) {
        if (lpEvtMask == nullptr) return DWORD{ERROR_INVALID_PARAMETER};
        OVERLAPPED own{};
        IoRequest request;
        if (DWORD invalid = prepareRequest(request, IoRequest::Kind::WaitEvent, lpOverlapped, own)) {
            return invalid;
        }
        request.eventsOut = lpEvtMask;
        DWORD count = 0;
        DWORD outcome = port.startWaitEvent(request);
        return settle(port, outcome, request, lpOverlapped != nullptr, count);
    });
}

BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    return callOnPort(hFile, [&](Port& port) {
        if (lpOverlapped == nullptr) return DWORD{ERROR_INVALID_PARAMETER};
        if (loadStatus(*lpOverlapped) == STATUS_PENDING) {
            if (!bWait) return DWORD{ERROR_IO_INCOMPLETE};
            port.awaitCompletion(*lpOverlapped);
        }
        ULONG_PTR status = loadStatus(*lpOverlapped);
        if (lpNumberOfBytesTransferred) {
            *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
        }
        return errorFromStatus(status);
    });
}

BOOL CancelIo(HANDLE hFile) {
    return callOnPort(hFile, [](Port& port) { return port.cancelThreadIo(std::this_thread::get_id()); });
}
