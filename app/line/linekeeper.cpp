#include "linekeeper.h"

#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "portwords.h"
#include "portsetup.h"
#include "serialport.h"
#include "stagebeat.h"
#include "stationstatus.h"

namespace {

constexpr auto RetryPause = std::chrono::seconds(1);

// The failure in words, with its code unless the words are the code already.
std::string failuretext(std::int32_t failure) {
    const std::string code = "Win32 error " + std::to_string(failure);
    const std::string words = portproblemwords(failure);
    return words == code ? code : words + " (" + code + ")";
}

}  // namespace

std::string portlabel() { return std::string(MotePortName) + " (" + portdevicepath(MotePortName) + ")"; }

void waitforport(std::int32_t failure) {
    // Each line in one write, as the store thread may report at the same time.
    std::cerr << "motelog: " + portlabel() + ": " + failuretext(failure) + "; retrying every second\n";
    loopstage().waiting();
    station().portfailed(portlabel(), failuretext(failure));
    // Let go of the device at once, so that whoever replaces or takes it can.
    serialport.Close();
    do {
        std::this_thread::sleep_for(RetryPause);
    } while (reopenserialport() != 0);
    std::cerr << "motelog: " + portlabel() + " is back; reading again\n";
    station().portopened(portlabel());
}
