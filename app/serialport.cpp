#include "serialport.h"

// Included before serialport is defined so the standard streams outlive it.
#include <iostream>

#include "portsetup.h"
#include "reporterror.h"

CSerial serialport;

void configureserialport() {
    for (const PortStep& step : portsteps()) {
        // The code is read only after the step has run and stored it.
        const LONG result = step.run(serialport);
        reporterror(result, serialport.GetLastErrorCode());
    }
}
