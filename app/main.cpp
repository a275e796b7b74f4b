// motelog: stores the readings that the sensor network's motes send over the serial line
// in the database, tracing every packet on standard output.
#include "dbsettings.h"
#include "linekeeper.h"
#include "packetloop.h"
#include "password.h"
#include "serialport.h"
#include "stopwatcher.h"
#include "traceoutput.h"

int main() {
    ignorebrokenpipes();
    startstopwatcher();
    const std::int32_t openfailure = configureserialport();
    const DbSettings settings = dbsettingsfromenvironment(buildpassword());
    if (openfailure != 0) waitforport(openfailure);
    return runloop(settings);
}
