#include "last_error.h"

#include "errno_map.h"

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD dwErrCode) { tLastError = dwErrCode; }

BOOL fail(DWORD code) {
    tLastError = code;
    return FALSE;
}

BOOL failErrno(int error) { return fail(win32FromErrno(error)); }
