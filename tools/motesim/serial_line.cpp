#include "serial_line.h"

#include <stdexcept>

#include "portwords.h"

namespace motesim {

namespace {

void check(LONG code, const std::string& step, const std::string& device) {
    if (code != 0)
        throw std::runtime_error(step + " " + device + " failed with Win32 error " +
                                 std::to_string(code));
}

}  // namespace

SerialLine::SerialLine(const std::string& device) : device_(device) {
    if (const LONG code = port_.Open(device.c_str())) {
        throw std::runtime_error("opening " + device + " failed: " +
                                 portopenproblemwords(device.c_str(), code) + " (Win32 error " +
                                 std::to_string(code) + ")");
    }
    check(port_.Setup(CSerial::BaudRate57600, CSerial::DataBits8, CSerial::ParityNone,
                      CSerial::StopBitsOne),
          "setting up", device);
    check(port_.SetupHandshaking(CSerial::HandshakeHardware), "setting handshaking on", device);
}

SerialLine::~SerialLine() { port_.Close(); }

bool SerialLine::send(const std::uint8_t* data, std::size_t size) {
    DWORD written = 0;
    check(port_.Write(data, static_cast<DWORD>(size), &written), "writing to", device_);
    if (written != size)
        throw std::runtime_error("writing to " + device_ + " sent " + std::to_string(written) +
                                 " of " + std::to_string(size) + " bytes");
    return true;
}

}  // namespace motesim
