// The Win32 calls for line control and line status.
#include "comm_api.h"
#include "port_call.h"

BOOL PurgeComm(HANDLE hFile, DWORD dwFlags) {
    return callOnPort(hFile, [&](Port& port) { return port.purge(dwFlags); });
}

BOOL SetCommBreak(HANDLE hFile) {
    return callOnPort(hFile, [](Port& port) { return port.setBreak(true); });
}

BOOL ClearCommBreak(HANDLE hFile) {
    return callOnPort(hFile, [](Port& port) { return port.setBreak(false); });
}

BOOL ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat) {
    return callOnPort(hFile, [&](Port& port) {
        DWORD errors = 0;
        DWORD outcome = port.clearErrors(errors, lpStat);
        if (outcome == ERROR_SUCCESS && lpErrors) *lpErrors = errors;
        return outcome;
    });
}

BOOL GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat) {
    return callOnPort(hFile, [&](Port& port) {
        return lpModemStat ? port.modemStatus(*lpModemStat) : ERROR_INVALID_PARAMETER;
    });
}
