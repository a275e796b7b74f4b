#include "portwords.h"

#include "port_name.h"

std::string portdevicepath(const char* portname) {
    std::string path;
    if (resolvePortName(portname, path) != ERROR_SUCCESS) return std::string();
    return path;
}

std::string portproblemwords(std::int32_t code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "not found";
        case ERROR_ACCESS_DENIED:
            return "in use by another process, or access denied";
        case ERROR_INVALID_HANDLE:
            return "not open";
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_GEN_FAILURE:
            return "device disconnected";
        case ERROR_INVALID_FUNCTION:
            return "not a serial device";
        case ERROR_OPERATION_ABORTED:
            return "operation aborted";
        default:
            return "Win32 error " + std::to_string(code);
    }
}
