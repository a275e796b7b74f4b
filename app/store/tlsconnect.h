// The logger's connections to the database with TLS as the deployment set it: the client
// library's options before connecting, a check after it, and words for a refusal that
// TLS explains.
#pragma once

#include <mysql++.h>

#include <string>

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
                const std::string& host);

// How the open `connection` to `host` is protected, in words for --check: the TLS version
// and cipher, and whether the server's certificate was verified; or why it is in clear.
// Asks the server; throws a mysqlpp exception when it cannot.
std::string tlsdescription(mysqlpp::Connection& connection, const TlsSettings& tls,
                           const std::string& host);
