// How the logger's connections to the database use TLS: the deployment's choice, read
// from the environment once at start.
#pragma once

#include <string>

enum class TlsMode {
    Preferred,  // unset: TLS whenever the server offers it, in clear otherwise
    Off,        // never TLS
    On,         // TLS or no connection, whatever certificate the server shows
    Verify,     // TLS or no connection, with the server's certificate and name checked
};

struct TlsSettings {
    TlsMode mode = TlsMode::Preferred;
    std::string ca;    // the CA file that Verify checks against; empty: the system's CAs
    std::string cert;  // the client's certificate and key, for accounts that require
    std::string key;   // X509; empty: none
};

// MOTELOG_DB_TLS (off, on or verify; unset or empty for Preferred), MOTELOG_DB_TLS_CA,
// MOTELOG_DB_TLS_CERT and MOTELOG_DB_TLS_KEY. Throws std::invalid_argument naming the
// setting that is wrong and why: an unknown mode, a file that cannot be read, or a
// certificate without its key (or the other way round).
TlsSettings tlssettingsfromenvironment();

// How an operator names `mode`: "MOTELOG_DB_TLS=verify", or "MOTELOG_DB_TLS unset".
std::string tlsmodesetting(TlsMode mode);
