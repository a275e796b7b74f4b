#include "port_name.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

constexpr unsigned kHighestPort = 256;

// The port number of "COMn" (after any "\\.\" prefix), or 0 when `name` is not one.
unsigned comPortNumber(const char* name) {
    const char* devicePrefix = "\\\\.\\";
    if (std::strncmp(name, devicePrefix, std::strlen(devicePrefix)) == 0) {
        name += std::strlen(devicePrefix);
    }
    if (strncasecmp(name, "COM", 3) != 0) return 0;
    const char* digits = name + 3;
    if (*digits < '1' || *digits > '9') return 0;
    unsigned number = 0;
    for (const char* c = digits; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return 0;
        number = number * 10 + static_cast<unsigned>(*c - '0');
        if (number > kHighestPort) return 0;
    }
    return number;
}

}  // namespace

DWORD resolvePortName(const char* name, std::string& path) {
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    if (name[0] == '/') {
        path = name;
    } else if (unsigned number = comPortNumber(name)) {
        std::string variable = "COM" + std::to_string(number);
        const char* configured = std::getenv(variable.c_str());
        if (configured != nullptr && configured[0] != '\0') {
            path = configured;
        } else {
            path = "/dev/ttyS" + std::to_string(number - 1);
        }
    } else {
        return ERROR_FILE_NOT_FOUND;
    }
    if (path.size() >= PATH_MAX) return ERROR_FILENAME_EXCED_RANGE;
    return ERROR_SUCCESS;
}
