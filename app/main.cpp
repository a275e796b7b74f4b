// motelog: stores the readings that the sensor network's motes send over the serial line
// in the database, tracing every packet on standard output.
#include <iostream>

#include "commandline.h"
#include "dbhost.h"
#include "dbsettings.h"
#include "directsink.h"
#include "linekeeper.h"
#include "packetloop.h"
#include "password.h"
#include "serialport.h"
#include "spool.h"
#include "startupcheck.h"
#include "stopwatcher.h"
#include "traceoutput.h"

int main(int argc, char** argv) {
    ignorebrokenpipes();
    const CommandLine commandline = parsecommandline(argc, argv);
    switch (commandline.command) {
        case Command::Help:
            std::cout << usagetext();
            return 0;
        case Command::Version:
            std::cout << versiontext();
            return 0;
        case Command::Misuse:
            std::cerr << "motelog: " << commandline.problem << "\n\n" << usagetext();
            return 2;
        case Command::Check:
            return runstartupcheck(dbsettingsfromenvironment(buildpassword()));
        case Command::Run:
            break;
    }
    startstopwatcher();
    std::unique_ptr<Spool> spool;
    if (const int refused = openspool(spool)) return refused;
    const std::int32_t openfailure = configureserialport();
    const DbSettings settings = dbsettingsfromenvironment(buildpassword());
    if (const std::string problem = hostlistproblem(settings.host); !problem.empty()) {
        std::cerr << "motelog: MOTELOG_DB_HOST: " << problem << '\n';
        return 2;
    }
    // The store drains a backlog while the port is still missing.
    if (spool) spool->start(settings);
    if (openfailure != 0) waitforport(openfailure);
    if (!spool) {
        DirectSink direct(settings);
        return runloop(direct);
    }
    return runloop(spool->sink());
}
