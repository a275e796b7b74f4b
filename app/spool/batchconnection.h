// The store's database connection in spool mode: the logger's account and database on one
// host, with time-outs, so that a dead network ends an attempt instead of holding it for
// ever, and a session that the server ends soon once we have abandoned it.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dbhost.h"
#include "dbsettings.h"

// A failed connection or statement, with the client library's error text and number.
struct StoreError : std::runtime_error {
    StoreError(const std::string& text, unsigned number, bool tls = false)
        : std::runtime_error(text), code(number), tlscause(tls) {}
    unsigned code;
    bool tlscause;  // the text names TLS as the cause of a refused connection
};

constexpr unsigned UnknownXid = 1397;  // XAER_NOTA: no such transaction (here)

// How long the server waits on a lock of ours, in seconds: shorter than the client's read
// time-out, so that a wait ends in an error we see rather than in a lost connection.
constexpr int LockWaitSeconds = 5;

class BatchConnection {
public:
    // Connects to `host` with TLS as `settings` ask, selects the database and sets the
    // session up: autocommit off (each statement opens a transaction that COMMIT or ROLLBACK
    // ends), an idle connection that the server closes after 20 s, lock waits of
    // LockWaitSeconds. Throws StoreError; a refusal that TLS explains says so in its text.
    BatchConnection(const DbSettings& settings, const DbHost& host);
    ~BatchConnection();

    BatchConnection(const BatchConnection&) = delete;
    BatchConnection& operator=(const BatchConnection&) = delete;

    // Runs one statement. Throws StoreError.
    void run(const std::string& statement);
    // Runs one statement that changes rows; returns how many it changed. Throws StoreError.
    std::uint64_t change(const std::string& statement);
    // The rows of a query, each column as text (NULL as ""). Throws StoreError.
    std::vector<std::vector<std::string>> rows(const std::string& statement);
    // The first column of the first row of a query; none without a row. Throws StoreError.
    std::optional<std::string> value(const std::string& statement);

private:
    [[noreturn]] void fail() const;

    struct st_mysql* mysql_;
};
