#include "portwords.h"

#include "port_name.h"

#include <sys/stat.h>

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

std::string portopenproblemwords(const char* portname, std::int32_t code) {
    const std::string path = portdevicepath(portname);
    if (code != ERROR_FILE_NOT_FOUND) return portproblemwords(code);
    if (path.empty()) return std::string(portname) + " names no port (COMn or a device path)";
    struct stat info;
    if (stat(path.c_str(), &info) == 0) return path + " is not a terminal, so no serial port";
    return path + " " + portproblemwords(code);
}
