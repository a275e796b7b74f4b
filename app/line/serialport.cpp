#include "serialport.h"

// Included before serialport is defined so the standard streams outlive it.
#include <iostream>

#include "portsetup.h"
#include "reporterror.h"

CSerial serialport;

std::int32_t configureserialport() {
    std::int32_t opened = 0;
    for (std::size_t i = 0; i < portsteps().size(); ++i) {
        // The code is read only after the step has run and stored it.
        const LONG result = portsteps()[i].run(serialport);
        if (i == 0) opened = result;
        reporterror(result, serialport.GetLastErrorCode());
    }
    return opened;
}

std::int32_t reopenserialport() {
    std::int32_t firstfailure = 0;
    for (const PortStep& step : portsteps()) {
        const LONG result = step.run(serialport);
        if (result != 0 && firstfailure == 0) firstfailure = result;
    }
    // A port that opened but cannot be set is no better than a missing one.
    if (firstfailure != 0) serialport.Close();
    return firstfailure;
}
