// The command line of motelog-report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "walltime.h"

namespace report {

// How to reach the server. Whatever is not given comes from the client library: the
// [client] group of the usual option files (or of --defaults-file), then MYSQL_UNIX_PORT,
// MYSQL_TCP_PORT and the library's own defaults.
struct ConnectionSettings {
    std::optional<std::string> host;
    std::optional<std::string> user;
    std::optional<std::string> password;
    bool askpassword = false;  // a bare --password or -p: ask on the terminal
    std::optional<std::string> socket;
    unsigned port = 0;  // 0: not given
    std::optional<std::string> defaultsfile;
    // TLS as the mariadb client takes it: whenever the server offers it, unless --skip-ssl;
    // required, with the certificate and name checked, by --ssl-verify-server-cert.
    bool ssl = true;
    bool verifyservercert = false;
    std::optional<std::string> sslca;  // CA file for the check; unset: the system's CAs
    std::optional<std::string> sslcert;
    std::optional<std::string> sslkey;
};

struct ReportOptions {
    std::optional<TimeBound> since;
    std::optional<TimeBound> until;
    std::vector<int> motes;  // empty: every mote
    std::string out = "motelog-report.html";
    ConnectionSettings connection;
    bool help = false;
};

// Reads the arguments after the program name. Throws std::invalid_argument saying which
// argument is wrong and why.
ReportOptions parsereportoptions(const std::vector<std::string>& args);

// The --help text.
std::string reportusage();

}  // namespace report
