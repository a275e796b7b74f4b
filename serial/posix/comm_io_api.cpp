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
DWORD prepareRequest(IoRequest& request, OVERLAPPED* record, OVERLAPPED& own) {
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

using StartTransfer = DWORD (Port::*)(IoRequest, DWORD&);

// The common frame of ReadFile and WriteFile for a request that names its buffer.
BOOL transfer(HANDLE hFile, IoRequest request, LPDWORD countOut, LPOVERLAPPED record, StartTransfer start) {
    return callOnPort(hFile, [&](Port& port) {
        bool hasBuffer = request.readBuffer != nullptr || request.writeBuffer != nullptr;
        if (!hasBuffer && request.size != 0) return DWORD{ERROR_NOACCESS};
        OVERLAPPED own{};
        if (DWORD invalid = prepareRequest(request, record, own)) return invalid;
        DWORD count = 0;
        if (countOut) *countOut = 0;
        DWORD outcome = settle(port, (port.*start)(request, count), request, record != nullptr, count);
        if (countOut && outcome != ERROR_IO_PENDING) *countOut = count;
        return outcome;
    });
}

}  // namespace

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    IoRequest request;
    request.kind = IoRequest::Kind::Read;
    request.readBuffer = static_cast<std::uint8_t*>(lpBuffer);
    request.size = nNumberOfBytesToRead;
    return transfer(hFile, std::move(request), lpNumberOfBytesRead, lpOverlapped, &Port::startRead);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    IoRequest request;
    request.kind = IoRequest::Kind::Write;
    request.writeBuffer = static_cast<const std::uint8_t*>(lpBuffer);
    request.size = nNumberOfBytesToWrite;
    return transfer(hFile, std::move(request), lpNumberOfBytesWritten, lpOverlapped, &Port::startWrite);
}

BOOL WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped) {
    return callOnPort(hFile, [&](Port& port) {
        if (lpEvtMask == nullptr) return DWORD{ERROR_INVALID_PARAMETER};
        OVERLAPPED own{};
        IoRequest request;
        request.kind = IoRequest::Kind::WaitEvent;
        request.eventsOut = lpEvtMask;
        if (DWORD invalid = prepareRequest(request, lpOverlapped, own)) return invalid;
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
