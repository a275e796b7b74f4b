// Helpers for reporting a failure through the calling thread's last-error code.
#pragma once

#include "comm_api.h"

// Sets the thread's last error to `code` and returns FALSE, for `return fail(...)`.
BOOL fail(DWORD code);
// Sets the thread's last error from `error` (an errno value) and returns FALSE.
BOOL failErrno(int error);
