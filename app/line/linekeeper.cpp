#include "linekeeper.h"

#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "portwords.h"
#include "portsetup.h"
#include "serialport.h"

namespace {

constexpr auto RetryPause = std::chrono::seconds(1);

// "COM1 (/dev/ttyUSB0)", the port as the operator configured it.
std::string portlabel() {
    return std::string(MotePortName) + " (" + portdevicepath(MotePortName) + ")";
}

// The failure in words, with its code unless the words are the code already.
std::string failuretext(std::int32_t failure) {
    const std::string code = "Win32 error " + std::to_string(failure);
    const std::string words = portproblemwords(failure);
    return words == code ? code : words + " (" + code + ")";
}

}  // namespace

void waitforport(std::int32_t failure) {
    // Each line in one write, as the store thread may report at the same time.
    std::cerr << "motelog: " + portlabel() + ": " + failuretext(failure) + "; retrying every second\n";
    // Let go of the device at once, so that whoever replaces or takes it can.
    serialport.Close();
    do {
        std::this_thread::sleep_for(RetryPause);
    } while (reopenserialport() != 0);
    std::cerr << "motelog: " + portlabel() + " is back; reading again\n";
}
