#include "serialport.h"

// Included before serialport is defined so the standard streams outlive it.
#include <iostream>

#include "reporterror.h"

CSerial serialport;

void configureserialport() {
    LONG result = serialport.Open("COM1", 0, 0);
    reporterror(result, serialport.GetLastErrorCode());
    result = serialport.Setup(CSerial::BaudRate57600, CSerial::DataBits8, CSerial::ParityNone,
                              CSerial::StopBitsOne);
    reporterror(result, serialport.GetLastErrorCode());
    result = serialport.SetupHandshaking(CSerial::HandshakeHardware);
    reporterror(result, serialport.GetLastErrorCode());
    result = serialport.SetupReadTimeouts(CSerial::ReadBlocking);
    reporterror(result, serialport.GetLastErrorCode());
}
