#include "lifecycle.h"

#include <chrono>

#include "tracechannel.h"

void finishservice() { drainedtrace(std::chrono::milliseconds(500)); }
