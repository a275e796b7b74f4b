// Where and as whom the logger stores its readings.
#pragma once

#include <string>

#include "password.h"
#include "tlssettings.h"

constexpr const char* DatabaseName = "marrowby";
constexpr const char* DatabaseUser = "quillon";

struct DbSettings {
    std::string host;  // server host; "localhost" means the client library's socket
    std::string password;
    TlsSettings tls = {};  // over the network only
};

// The deployment's settings: the host from MOTELOG_DB_HOST (default "localhost"), the
// password from MOTELOG_DB_PASSWORD when set, otherwise `built`. Port and socket are left
// to the client library, which reads MYSQL_TCP_PORT and MYSQL_UNIX_PORT itself. TLS as
// tlssettingsfromenvironment() reads it; throws its std::invalid_argument.
DbSettings dbsettingsfromenvironment(const Password& built);
