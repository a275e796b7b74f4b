// The Win32 calls that read and change a port's settings.
#include "comm_api.h"
#include "dcb_termios.h"
#include "last_error.h"
#include "port_call.h"
#include "port_name.h"
#include "sys_calls.h"

#include <cstring>

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB) {
    return callOnPort(hFile, [&](Port& port) {
        return lpDCB ? port.getState(*lpDCB) : ERROR_INVALID_PARAMETER;
    });
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB) {
    return callOnPort(hFile, [&](Port& port) {
        return lpDCB ? port.setState(*lpDCB) : ERROR_INVALID_PARAMETER;
    });
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    return callOnPort(hFile, [&](Port& port) {
        return lpCommTimeouts ? port.getTimeouts(*lpCommTimeouts) : ERROR_INVALID_PARAMETER;
    });
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    return callOnPort(hFile, [&](Port& port) {
        return lpCommTimeouts ? port.setTimeouts(*lpCommTimeouts) : ERROR_INVALID_PARAMETER;
    });
}

BOOL SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
    return callOnPort(hFile, [&](Port& port) { return port.setupQueues(dwInQueue, dwOutQueue); });
}

BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask) {
    return callOnPort(hFile, [&](Port& port) { return port.setMask(dwEvtMask); });
}

BOOL GetCommMask(HANDLE hFile, LPDWORD lpEvtMask) {
    return callOnPort(hFile, [&](Port& port) {
        return lpEvtMask ? port.getMask(*lpEvtMask) : ERROR_INVALID_PARAMETER;
    });
}

BOOL GetDefaultCommConfigA(LPCSTR lpszName, LPCOMMCONFIG lpCC, LPDWORD lpdwSize) {
    return guardedCall([&]() -> BOOL {
        if (lpdwSize == nullptr) return fail(ERROR_INVALID_PARAMETER);
        if (lpCC == nullptr || *lpdwSize < sizeof(COMMCONFIG)) {
            *lpdwSize = sizeof(COMMCONFIG);
            return fail(ERROR_INSUFFICIENT_BUFFER);
        }
        std::string path;
        if (DWORD invalid = resolvePortName(lpszName, path)) return fail(invalid);
        // Only the device's presence is checked: its defaults do not depend on whether
        // somebody holds it open.
        struct stat info {};
        if (int error = sysStat(path.c_str(), info)) return failErrno(error);
        if (!S_ISCHR(info.st_mode)) return fail(ERROR_FILE_NOT_FOUND);
        std::memset(lpCC, 0, sizeof(COMMCONFIG));
        lpCC->dwSize = sizeof(COMMCONFIG);
        lpCC->wVersion = 1;
        lpCC->dcb = defaultDcb();
        lpCC->dwProviderSubType = 1;  // PST_RS232
        *lpdwSize = sizeof(COMMCONFIG);
        return TRUE;
    });
}

BOOL SetCommConfig(HANDLE hCommDev, LPCOMMCONFIG lpCC, DWORD dwSize) {
    return callOnPort(hCommDev, [&](Port& port) {
        if (lpCC == nullptr || dwSize < sizeof(COMMCONFIG)) return DWORD{ERROR_INVALID_PARAMETER};
        return port.setState(lpCC->dcb);
    });
}
