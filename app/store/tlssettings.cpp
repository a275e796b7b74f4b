#include "tlssettings.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

constexpr const char* ModeVariable = "MOTELOG_DB_TLS";

std::string setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A file the client library would fail to read only at the first connection, with
// nothing but "No such file or directory" to say which one.
std::string readablefile(const char* name) {
    const std::string path = setting(name);
    if (!path.empty() && access(path.c_str(), R_OK) != 0)
        throw std::invalid_argument(std::string(name) + "=" + path +
                                    ": cannot read it: " + std::strerror(errno));
    return path;
}

TlsMode mode() {
    const std::string value = setting(ModeVariable);
    if (value.empty()) return TlsMode::Preferred;
    if (value == "off") return TlsMode::Off;
    if (value == "on") return TlsMode::On;
    if (value == "verify") return TlsMode::Verify;
    throw std::invalid_argument(std::string(ModeVariable) + "=" + value +
                                " is not off, on or verify (unset: TLS when the server "
                                "offers it)");
}

}  // namespace

TlsSettings tlssettingsfromenvironment() {
    TlsSettings tls;
    tls.mode = mode();
    tls.ca = readablefile("MOTELOG_DB_TLS_CA");
    tls.cert = readablefile("MOTELOG_DB_TLS_CERT");
    tls.key = readablefile("MOTELOG_DB_TLS_KEY");
    if (tls.cert.empty() != tls.key.empty())
        throw std::invalid_argument(
            "MOTELOG_DB_TLS_CERT and MOTELOG_DB_TLS_KEY go together: a client certificate "
            "needs its key");
    return tls;
}

std::string tlsmodesetting(TlsMode mode) {
    switch (mode) {
        case TlsMode::Off:
            return "MOTELOG_DB_TLS=off";
        case TlsMode::On:
            return "MOTELOG_DB_TLS=on";
        case TlsMode::Verify:
            return "MOTELOG_DB_TLS=verify";
        case TlsMode::Preferred:
            break;
    }
    return "MOTELOG_DB_TLS unset";
}
