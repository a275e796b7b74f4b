#include "dbsettings.h"

#include <cstdlib>

DbSettings dbsettingsfromenvironment(const Password& built) {
    DbSettings settings;
    const char* host = std::getenv("MOTELOG_DB_HOST");
    settings.host = host && *host ? host : "localhost";
    const char* password = std::getenv("MOTELOG_DB_PASSWORD");
    settings.password = password ? password : built.data();
    settings.tls = tlssettingsfromenvironment();
    return settings;
}
