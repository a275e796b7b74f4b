// The store's database connection in spool mode: the logger's account and database, with
// time-outs, so that a dead network ends an attempt instead of holding it for ever.
#pragma once

#include <mysql++.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "dbsettings.h"

// A failed connection or statement, with the client library's error text and number.
struct StoreError : std::runtime_error {
    StoreError(const std::string& text, unsigned number) : std::runtime_error(text), code(number) {}
    unsigned code;
};

constexpr unsigned UnknownXid = 1397;     // XAER_NOTA: no such transaction (any more)
constexpr unsigned UnknownSession = 1094; // KILL: no such connection
constexpr unsigned OthersSession = 1095;  // KILL: a connection of another user

class BatchConnection {
public:
    // Connects and selects the database, with TLS as `settings` ask. Throws
    // mysqlpp::ConnectionFailed (see tlsconnect()).
    explicit BatchConnection(const DbSettings& settings);

    // Runs one statement. Throws StoreError.
    void run(const std::string& statement);

    // The server's id of this connection.
    std::uint64_t session() { return connection_.thread_id(); }

private:
    mysqlpp::Connection connection_;
};
