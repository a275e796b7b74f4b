// motelog: stores the readings that the sensor network's motes send over the serial line
// in the database, tracing every packet on standard output.
#include "dbsettings.h"
#include "directsink.h"
#include "packetloop.h"
#include "password.h"
#include "serialport.h"
#include "spool.h"
#include "stopwatcher.h"

int main() {
    startstopwatcher();
    std::unique_ptr<Spool> spool;
    if (const int refused = openspool(spool)) return refused;
    configureserialport();
    const DbSettings settings = dbsettingsfromenvironment(buildpassword());
    if (!spool) {
        DirectSink direct(settings);
        return runloop(direct);
    }
    spool->start(settings);
    return runloop(spool->sink());
}
