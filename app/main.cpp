// motelog: stores the readings that the sensor network's motes send over the serial line
// in the database, tracing every packet on standard output.
#include <iostream>
#include <stdexcept>

#include "commandline.h"
#include "dbhost.h"
#include "dbsettings.h"
#include "lifecycle.h"
#include "directsink.h"
#include "linekeeper.h"
#include "linestop.h"
#include "packetloop.h"
#include "password.h"
#include "serialport.h"
#include "spool.h"
#include "stationstatus.h"
#include "statusreport.h"
#include "startupcheck.h"
#include "stopwatcher.h"
#include "tracechannel.h"
#include "traceoutput.h"

namespace {

constexpr int SettingsRefusedStatus = 2;

}  // namespace

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
            return runstartupcheck(buildpassword());
        case Command::Status:
            return runstatusreport();
        case Command::Run:
            break;
    }
    startstopwatcher();
    try {
        starttrace(tracelevelfromenvironment(), tracebacklogfromenvironment());
    } catch (const std::invalid_argument& error) {
        std::cerr << "motelog: " << error.what() << '\n';
        return 2;
    }
    std::unique_ptr<Spool> spool;
    if (const int refused = openspool(spool)) return refused;
    const std::int32_t openfailure = configureserialport();
    DbSettings settings;
    try {
        settings = dbsettingsfromenvironment(buildpassword());
    } catch (const std::invalid_argument& error) {
        std::cerr << "motelog: " << error.what() << '\n';
        return SettingsRefusedStatus;
    }
    if (const std::string problem = hostlistproblem(settings.host); !problem.empty()) {
        std::cerr << "motelog: MOTELOG_DB_HOST: " << problem << '\n';
        return SettingsRefusedStatus;
    }
    // The store drains a backlog while the port is still missing.
    if (spool) {
        spool->start(settings);
        station().spooling([open = spool.get()] {
            const JournalWaiting waiting = open->waiting();
            return Backlog{waiting.records, waiting.oldestus};
        });
    }
    if (openfailure == 0) station().portopened(portlabel());
    startservice();
    if (openfailure != 0) waitforport(openfailure);
    int status = 0;
    if (!spool) {
        DirectSink direct(settings);
        status = runloop(direct);
    } else {
        // What the line has delivered is journaled before a stop ends the process.
        letreaderfinishonstop();
        status = runloop(spool->sink());
    }
    finishservice();
    return status;
}
