#include "startupcheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "batchconnection.h"
#include "dbhost.h"
#include "errorclass.h"
#include "portsetup.h"
#include "portwords.h"
#include "spoolsettings.h"
#include "stationstatements.h"
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
    if (host.empty() || host == "localhost") return "; " + erroradvice(AccessDenied);
    const std::string account = std::string("'") + DatabaseUser + "'@'" + host + "'";
    return "\n    The server sees this logger as " + account +
           ", an account the schema does not create\n    (its 'quillon'@'localhost' serves local "
           "connections only). Unless you made it, create it\n    as the server's administrator "
           "and set MOTELOG_DB_PASSWORD to its password:\n      CREATE USER " +
           account + " IDENTIFIED BY 'your-password';\n      GRANT INSERT ON " + DatabaseName +
           ".test_data TO " + account + ";\n      GRANT SELECT, INSERT, UPDATE ON " +
           DatabaseName + ".motelog_station TO " + account + ";";
}

std::string databasehint(const StoreError& error) {
    // A refusal that TLS explains names its cause already, and it is not the password.
    if (error.tlscause) return "";
    if (error.code == AccessDenied) return accesshint(error.what());
    const std::string advice = erroradvice(error.code);
    if (!advice.empty()) return "; " + advice;
    if (error.code == 2002 || error.code == 2003)
        return "; is the server running, and is MOTELOG_DB_HOST (or MYSQL_UNIX_PORT, "
               "MYSQL_TCP_PORT) right?";
    return "";
}

// One step of a store, reported by name; false when it failed.
bool trystep(const std::string& step, const std::function<void()>& run) {
    try {
        run();
        passed(step);
        return true;
    } catch (const StoreError& error) {
        failed(step, error.what() + databasehint(error));
        return false;
    }
}

// How the connection is protected, as the server reports it for the session.
std::string encryption(BatchConnection& db, const TlsSettings& tls, const DbHost& host) {
    std::string version;
    std::string cipher;
    for (const std::vector<std::string>& row : db.rows(EncryptionQuery))
        if (row.size() == 2) (row[0] == "Ssl_version" ? version : cipher) = row[1];
    return tlsdescription(version, cipher, tls, host);
}

// What the logger does on `host`, undone: a reading stored in a transaction and, for the
// spool, a station's row made and moved, all rolled back.
bool checkhost(const DbSettings& settings, const DbHost& host, bool spooled) {
    std::cout << "Database " << DatabaseName << " on " << hosttext(host) << " as user "
              << DatabaseUser << ":" << std::endl;
    std::unique_ptr<BatchConnection> db;
    if (!trystep("connect", [&] { db = std::make_unique<BatchConnection>(settings, host); }))
        return false;
    bool allwell = true;
    try {
        std::cout << "  encryption: " << encryption(*db, settings.tls, host) << std::endl;
    } catch (const StoreError& error) {
        failed("encryption", error.what());
        allwell = false;
    }
    allwell &= trystep("store a reading (rolled back)", [&] {
        db->run(
            "insert into test_data (logid,moteid,timestamp,data_type,data_value) "
            "values(0,0,now(),0,0)");
        db->run("ROLLBACK");
    });
    if (spooled)
        allwell &= trystep("keep the spool's position (rolled back)", [&] {
            StationId probe{};
            probe.fill(0xff);
            db->value(positionread(probe));
            db->run(positioncreate(probe, 0));
            db->change(positionmove(probe, 0, 1));
            db->run("ROLLBACK");
        });
    return allwell;
}

bool checkdatabase(const Password& built, bool spooled) {
    DbSettings settings;
    try {
        settings = dbsettingsfromenvironment(built);
    } catch (const std::invalid_argument& error) {
        std::cout << "Database:" << std::endl;
        failed("settings", error.what());
        return false;
    }
    if (const std::string problem = hostlistproblem(settings.host); !problem.empty()) {
        std::cout << "Database " << DatabaseName << " on " << settings.host << ":" << std::endl;
        failed("MOTELOG_DB_HOST", problem);
        return false;
    }
    bool allwell = true;
    for (const DbHost& host : parsehostlist(settings.host))
        allwell &= checkhost(settings, host, spooled);
    return allwell;
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
    const bool port = checkport();
    bool spooled = false;
    try {
        spooled = spoolsettingsfromenvironment().has_value();
    } catch (const std::invalid_argument&) {
        spooled = true;  // checkspool names the problem
    }
    const bool database = checkdatabase(built, spooled);
    const std::pair<const char*, bool> parts[] = {
        {"the serial port", port}, {"the database", database}, {"the spool", checkspool()}};
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
