#include "serialport.h"

// Included before serialport is defined so the standard streams outlive it.
#include <iostream>

#include "reporterror.h"

CSerial serialport;

namespace {

// Runs the start-up steps in order, each regardless of the others, and hands every
// step's result and stored code to `check`. Returns the open's result.
template <typename Check>
std::int32_t setupsteps(Check check) {
    const LONG opened = serialport.Open(SerialPortName, 0, 0);
    check(opened, serialport.GetLastErrorCode());
    LONG result = serialport.Setup(CSerial::BaudRate57600, CSerial::DataBits8, CSerial::ParityNone,
                                   CSerial::StopBitsOne);
    check(result, serialport.GetLastErrorCode());
    result = serialport.SetupHandshaking(CSerial::HandshakeHardware);
    check(result, serialport.GetLastErrorCode());
    result = serialport.SetupReadTimeouts(CSerial::ReadBlocking);
    check(result, serialport.GetLastErrorCode());
    return opened;
}

}  // namespace

std::int32_t configureserialport() {
    return setupsteps(reporterror);
}

std::int32_t reopenserialport() {
    std::int32_t firstfailure = 0;
    setupsteps([&firstfailure](std::int32_t result, std::int32_t) {
        if (result != 0 && firstfailure == 0) firstfailure = result;
    });
    // A port that opened but cannot be set is no better than a missing one.
    if (firstfailure != 0) serialport.Close();
    return firstfailure;
}
