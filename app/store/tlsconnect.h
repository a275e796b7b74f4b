// The logger's connections to the database with TLS as the deployment set it: the client
// library's options before connecting, a check after it, and words for a refusal that
// TLS explains. The direct mode's store connects through MySQL++, the spool's store
// through the client library's own handle; both get the same options and words here.
#pragma once

#include <mysql++.h>

#include <string>

#include "dbhost.h"
#include "dbsettings.h"

// A connection that TLS refused, or that the server refused for want of TLS; what() has
// the client library's text (if any) followed by the cause in the settings' own words.
struct TlsRefused : mysqlpp::ConnectionFailed {
    using mysqlpp::ConnectionFailed::ConnectionFailed;
};

// Whether a connection to `host` goes over the network, where TLS applies: "localhost"
// is the client library's local socket, which needs none.
bool overnetwork(const std::string& host);

// Connects `connection` (not connected yet; its other options set) to `host` as the
// logger's user with `settings.password`, selecting `database` unless it is null, with
// TLS as `settings.tls` asks. Throws TlsRefused as described above, and otherwise
// mysqlpp::ConnectionFailed with the client library's text and number.
void tlsconnect(mysqlpp::Connection& connection, const char* database, const DbSettings& settings,
                const DbHost& host);

// Sets the TLS options that `tls` asks for on the client library's handle `mysql`, before
// it connects to a host over the network. Returns false when the library refused one.
bool settlsoptions(struct st_mysql* mysql, const TlsSettings& tls);

// The cause of a refused connection to `host` (client library error `errnum`) in the
// settings' words, when TLS explains it; "" otherwise. May try the host once more.
std::string tlsrefusalcause(const DbSettings& settings, const DbHost& host, int errnum);

// For a connection to `host` that is open in clear (`cipher` empty): why the settings
// refuse it, or "" when they let it be.
std::string inclearrefusal(const TlsSettings& tls, const DbHost& host, const std::string& cipher);

// The statement whose rows (name, value) tell a session's TLS version and cipher.
constexpr const char* EncryptionQuery =
    "SHOW SESSION STATUS WHERE Variable_name IN ('Ssl_version', 'Ssl_cipher')";

// How a connection to `host` is protected, in words for --check, from the TLS `version`
// and `cipher` the server reports for it (both empty: in clear): the version and cipher,
// and whether the server's certificate was verified; or why it is in clear.
std::string tlsdescription(const std::string& version, const std::string& cipher,
                           const TlsSettings& tls, const DbHost& host);
