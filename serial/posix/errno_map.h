// Translation of POSIX errno values into the Win32 error codes that callers of the
// communications API expect.
#pragma once

#include "comm_api.h"

// The Win32 code for `error`; unknown values give ERROR_GEN_FAILURE.
DWORD win32FromErrno(int error);
