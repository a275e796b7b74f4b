#include "portsetup.h"

const std::array<PortStep, 4>& portsteps() {
    static const std::array<PortStep, 4> steps = {{
        {"open", [](CSerial& port) { return port.Open(MotePortName, 0, 0); }},
        {"57600 baud, 8 data bits, no parity, 1 stop bit",
         [](CSerial& port) {
             return port.Setup(CSerial::BaudRate57600, CSerial::DataBits8, CSerial::ParityNone,
                               CSerial::StopBitsOne);
         }},
        {"hardware handshaking",
         [](CSerial& port) { return port.SetupHandshaking(CSerial::HandshakeHardware); }},
        {"blocking reads",
         [](CSerial& port) { return port.SetupReadTimeouts(CSerial::ReadBlocking); }},
    }};
    return steps;
}
