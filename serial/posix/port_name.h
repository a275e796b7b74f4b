// Port names as Win32 programs write them, and the devices they stand for.
#pragma once

#include "comm_api.h"

#include <string>

// Finds the device path for `name`: "COMn" or "\\.\COMn" (any case, n from 1 to 256)
// names the device in the environment variable "COMn" when that is set and not empty,
// otherwise /dev/ttyS(n-1); a name starting with '/' is a device path already.
// Returns ERROR_SUCCESS with `path` set, or the Win32 code of why the name names no
// device (ERROR_FILE_NOT_FOUND, ERROR_INVALID_PARAMETER for null,
// ERROR_FILENAME_EXCED_RANGE for an over-long path).
DWORD resolvePortName(const char* name, std::string& path);
