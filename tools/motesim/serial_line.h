// A real (or virtual) serial port, opened through the CSerial class with the logger's
// line settings: 57600 baud, 8 data bits, no parity, one stop bit, hardware handshaking.
#pragma once

#include <string>

#include "line.h"
#include "serial.h"

namespace motesim {

class SerialLine : public Line {
public:
    // Opens and sets up `device` ("COM1" or a device path). Throws std::runtime_error
    // naming the failed step and its Win32 error code.
    explicit SerialLine(const std::string& device);
    ~SerialLine() override;

    bool send(const std::uint8_t* data, std::size_t size) override;

private:
    std::string device_;
    CSerial port_;
};

}  // namespace motesim
