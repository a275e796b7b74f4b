#include "reporterror.h"

#include <iostream>

bool reporterror(std::int32_t result, std::int32_t errorCode) {
    if (result == 0) return false;
    std::cerr << "Win32 Error Code: " << errorCode << '\n';
    return true;
}
