#include "startupcheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "portsetup.h"
#include "portwords.h"
#include "readingstore.h"
#include "spoolsettings.h"
#include "tlsconnect.h"

namespace {

void passed(const std::string& step, const std::string& note = "") {
    std::cout << "  " << step << ": ok" << (note.empty() ? "" : ", " + note) << std::endl;
}

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

// The host part of "Access denied for user 'quillon'@'HOST'": how the server saw us.
std::string refusedhost(const std::string& error) {
    const std::string account = std::string("'") + DatabaseUser + "'@'";
    const std::size_t start = error.find(account);
    if (start == std::string::npos) return "";
    const std::size_t host = start + account.size();
    const std::size_t end = error.find('\'', host);
    return end == std::string::npos ? "" : error.substr(host, end - host);
}

// The schema's account serves local sockets only: a refusal for any other host is most
// often a missing account, not a wrong password.
std::string accesshint(const std::string& error) {
    const std::string host = refusedhost(error);
    if (host.empty() || host == "localhost")
        return "; the password is MOTELOG_DB_PASSWORD's, or the built-in one when it is unset";
    const std::string account = std::string("'") + DatabaseUser + "'@'" + host + "'";
    return "\n    The server sees this logger as " + account +
           ", an account the schema does not create\n    (its 'quillon'@'localhost' serves local "
           "connections only). Unless you made it, create it\n    as the server's administrator "
           "and set MOTELOG_DB_PASSWORD to its password:\n      CREATE USER " +
           account + " IDENTIFIED BY 'your-password';\n      GRANT INSERT ON " + DatabaseName +
           ".test_data TO " + account + ";";
}

std::string databasehint(const std::string& error) {
    if (error.find("Access denied") != std::string::npos) return accesshint(error);
    if (error.find("Can't connect") != std::string::npos)
        return "; is the server running, and is MOTELOG_DB_HOST (or MYSQL_UNIX_PORT, "
               "MYSQL_TCP_PORT) right?";
    return "";
}

bool checkdatabase(const Password& built) {
    DbSettings settings;
    try {
        settings = dbsettingsfromenvironment(built);
    } catch (const std::invalid_argument& error) {
        std::cout << "Database:" << std::endl;
        failed("settings", error.what());
        return false;
    }
    std::cout << "Database " << DatabaseName << " on " << settings.host << " as user "
              << DatabaseUser << ":" << std::endl;
    try {
        ReadingStore store(settings);
        passed("connect");
        std::cout << "  encryption: "
                  << tlsdescription(store.connection(), settings.tls, settings.host) << std::endl;
        return true;
    } catch (const TlsRefused& error) {
        failed("connect", error.what());
        return false;
    } catch (const mysqlpp::Exception& error) {
        failed("connect", error.what() + databasehint(error.what()));
        return false;
    }
}

// Without taking it: motelog locks the spool and replays its journal when it starts. A
// missing directory is made and removed again, as the surest test that motelog can make it.
bool checkspool() {
    std::optional<SpoolSettings> settings;
    try {
        settings = spoolsettingsfromenvironment();
    } catch (const std::invalid_argument& error) {
        std::cout << "Spool:" << std::endl;
        failed("settings", error.what());
        return false;
    }
    if (!settings) return true;
    const char* const dir = settings->dir.c_str();
    std::cout << "Spool " << dir << ":" << std::endl;
    struct stat status {};
    if (stat(dir, &status) != 0) {
        if (mkdir(dir, 0700) != 0) {
            failed("directory", "cannot create " + settings->dir + ": " + std::strerror(errno));
            return false;
        }
        rmdir(dir);
        passed("directory", "does not exist yet and will be created");
        return true;
    }
    if (!S_ISDIR(status.st_mode) || access(dir, W_OK | X_OK) != 0) {
        failed("directory", "cannot write in " + settings->dir + ": " +
                                std::strerror(S_ISDIR(status.st_mode) ? errno : ENOTDIR));
        return false;
    }
    passed("directory");
    return true;
}

}  // namespace

int runstartupcheck(const Password& built) {
    const std::pair<const char*, bool> parts[] = {{"the serial port", checkport()},
                                                  {"the database", checkdatabase(built)},
                                                  {"the spool", checkspool()}};
    std::string what;
    for (const auto& [name, well] : parts)
        if (!well) what += (what.empty() ? "" : " and ") + std::string(name);
    if (what.empty()) {
        std::cout << "All is well: motelog can start." << std::endl;
        return 0;
    }
    std::cerr << "motelog --check: " << what << " failed; see above." << std::endl;
    return 1;
}
