// motelog: stores the readings that the sensor network's motes send over the serial line
// in the database, tracing every packet on standard output.
#include "dbsettings.h"
#include "packetloop.h"
#include "password.h"
#include "serialport.h"
#include "stopwatcher.h"

int main() {
    startstopwatcher();
    configureserialport();
    const DbSettings settings = dbsettingsfromenvironment(buildpassword());
    return runloop(settings);
}
