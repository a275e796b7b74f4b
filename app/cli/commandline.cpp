#include "commandline.h"

#include <unistd.h>

#include <climits>
#include <string>

namespace {

// The README installed beside the running program, or empty when it is not there (a
// program run from the build tree).
std::string installedreadme() {
    char exe[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (size <= 0) return std::string();
    std::string path(exe, static_cast<std::size_t>(size));
    path.erase(path.find_last_of('/'));  // the bin directory
    path.erase(path.find_last_of('/') + 1);
    path += "share/doc/motelog/README.md";
    return access(path.c_str(), R_OK) == 0 ? path : std::string();
}

}  // namespace

CommandLine parsecommandline(int argc, const char* const* argv) {
    if (argc <= 1) return {};
    const std::string option = argv[1];
    if (argc > 2) return {Command::Misuse, "too many arguments"};
    if (option == "--check") return {Command::Check, ""};
    if (option == "--status") return {Command::Status, ""};
    if (option == "--help" || option == "-h") return {Command::Help, ""};
    if (option == "--version") return {Command::Version, ""};
    return {Command::Misuse, "unknown argument '" + option + "'"};
}

std::string usagetext() {
    std::string readme = installedreadme();
    if (readme.empty()) readme = "README.md at the top of motelog's source tree";
    return "usage: motelog [--check | --status | --help | --version]\n"
           "\n"
           "Stores the readings that the sensor network's motes send over the serial port\n"
           "COM1 in the table marrowby.test_data, one row per reading, and traces every\n"
           "packet on standard output. Runs until SIGINT or SIGTERM (exit status 0); a\n"
           "database error ends it with exit status 255, unless it spools (MOTELOG_SPOOL).\n"
           "\n"
           "  --check    open and set up the port, connect once to the database, check the\n"
           "             spool if one is set, say how each step went, then exit: 0 when\n"
           "             all is well, 1 otherwise\n"
           "  --status   show the running motelog's status (MOTELOG_STATUS, else\n"
           "             /run/motelog/status): exit status 0 when it runs, 1 when its\n"
           "             status is stale, 3 when it does not run\n"
           "  --help, -h show this text\n"
           "  --version  show the version\n"
           "\n"
           "Environment (the service reads it from /etc/motelog/motelog.env):\n"
           "  COM1=DEVICE               the mote's serial device (default /dev/ttyS0)\n"
           "  MOTELOG_DB_HOST=HOST      the database server (default localhost, its socket)\n"
           "  MOTELOG_DB_PASSWORD=TEXT  the password of the database user quillon, once\n"
           "                            changed from the built-in one\n"
           "  MOTELOG_DB_TLS=MODE       TLS to a server over the network: off, on (without\n"
           "                            checking the server's certificate) or verify\n"
           "                            (default: TLS when the server offers it)\n"
           "  MOTELOG_DB_TLS_CA=FILE    the CA that verify checks against (default: the\n"
           "                            system's CAs)\n"
           "  MOTELOG_DB_TLS_CERT=FILE, MOTELOG_DB_TLS_KEY=FILE\n"
           "                            a client certificate and its key, for an account\n"
           "                            that requires X509\n"
           "  MOTELOG_DIAGNOSTICS=FILE  append the serial port's diagnostic reports to FILE\n"
           "  MOTELOG_SPOOL=DIR         buffer readings in DIR while the database is away\n"
           "  MOTELOG_SPOOL_MAX=SIZE    cap of that buffer (default 1 GiB)\n"
           "  MOTELOG_TRACE=LEVEL       full (default), summary (a line a minute) or off\n"
           "  MOTELOG_TRACE_BACKLOG=N   trace bytes kept while standard output lags (1 MiB)\n"
           "  MOTELOG_STATUS=FILE       the status file (the service: /run/motelog/status)\n"
           "  MOTELOG_METRICS=FILE      also write the figures for Prometheus to FILE\n"
           "  MYSQL_UNIX_PORT=SOCKET    the local server's socket, if not the default one\n"
           "  MYSQL_TCP_PORT=PORT       the server's TCP port, if not 3306\n"
           "\n"
           "More in the README: " +
           readme + "\n";
}

std::string versiontext() { return std::string("motelog ") + MOTELOG_VERSION + "\n"; }
