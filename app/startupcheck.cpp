#include "startupcheck.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "portsetup.h"
#include "portwords.h"
#include "readingstore.h"

namespace {

void passed(const std::string& step) { std::cout << "  " << step << ": ok" << std::endl; }

// Standard output goes first, so that a terminal or a journal shows the steps in order.
void failed(const std::string& step, const std::string& cause) {
    std::cout.flush();
    std::cerr << "  " << step << ": FAILED, " << cause << std::endl;
}

std::string codewords(const std::string& words, LONG code) {
    return words + " (Win32 Error Code: " + std::to_string(code) + ")";
}

bool checkport() {
    const std::string path = portdevicepath(MotePortName);
    const bool named = std::getenv(MotePortName) != nullptr;
    std::cout << "Serial port " << MotePortName << " = " << path
              << (named ? "" : " (COM1 is not set in the environment)") << ":" << std::endl;
    CSerial port;
    bool allwell = true;
    for (const PortStep& step : portsteps()) {
        if (step.run(port) == 0) {
            passed(step.what);
            continue;
        }
        const LONG code = port.GetLastErrorCode();
        if (&step == &portsteps().front()) {  // the other steps need an open port
            failed(step.what, codewords(portopenproblemwords(MotePortName, code), code));
            return false;
        }
        failed(step.what, codewords(portproblemwords(code), code));
        allwell = false;
    }
    port.Close();
    return allwell;
}

std::string databasehint(const std::string& error) {
    if (error.find("Access denied") != std::string::npos)
        return "; the password is MOTELOG_DB_PASSWORD's, or the built-in one when it is unset";
    if (error.find("Can't connect") != std::string::npos)
        return "; is the server running, and is MOTELOG_DB_HOST (or MYSQL_UNIX_PORT, "
               "MYSQL_TCP_PORT) right?";
    return "";
}

bool checkdatabase(const DbSettings& settings) {
    std::cout << "Database " << DatabaseName << " on " << settings.host << " as user "
              << DatabaseUser << ":" << std::endl;
    try {
        ReadingStore store(settings);
        passed("connect");
        return true;
    } catch (const mysqlpp::Exception& error) {
        failed("connect", error.what() + databasehint(error.what()));
        return false;
    }
}

}  // namespace

int runstartupcheck(const DbSettings& settings) {
    const bool portwell = checkport();
    const bool databasewell = checkdatabase(settings);
    if (portwell && databasewell) {
        std::cout << "All is well: motelog can start." << std::endl;
        return 0;
    }
    const char* what = portwell ? "the database"
                       : databasewell ? "the serial port"
                                      : "the serial port and the database";
    std::cerr << "motelog --check: " << what << " failed; see above." << std::endl;
    return 1;
}
