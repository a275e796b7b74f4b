#include "batchconnection.h"

#include <mysql.h>

#include "tlsconnect.h"

namespace {

constexpr unsigned ConnectTimeoutSeconds = 5;
// Long enough for a large batch on a busy server; a read may be retried by the library.
constexpr unsigned ReadWriteTimeoutSeconds = 10;
constexpr int IdleSessionSeconds = 20;

}  // namespace

BatchConnection::BatchConnection(const DbSettings& settings, const DbHost& host)
    : mysql_(mysql_init(nullptr)) {
    if (!mysql_) throw StoreError("cannot make a client connection handle: out of memory", 0);
    mysql_options(mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &ConnectTimeoutSeconds);
    mysql_options(mysql_, MYSQL_OPT_READ_TIMEOUT, &ReadWriteTimeoutSeconds);
    mysql_options(mysql_, MYSQL_OPT_WRITE_TIMEOUT, &ReadWriteTimeoutSeconds);
    if (overnetwork(host.name) && !settlsoptions(mysql_, settings.tls)) {
        mysql_close(mysql_);
        throw StoreError("the client library refuses the TLS settings", 0);
    }
    if (!mysql_real_connect(mysql_, host.name.c_str(), DatabaseUser, settings.password.c_str(),
                            DatabaseName, host.port, nullptr, 0)) {
        const unsigned code = mysql_errno(mysql_);
        const std::string text = mysql_error(mysql_);
        mysql_close(mysql_);
        const std::string cause = tlsrefusalcause(settings, host, static_cast<int>(code));
        if (!cause.empty()) throw StoreError(text + "; " + cause, code, true);
        throw StoreError(text, code);
    }
    const char* cipher = mysql_get_ssl_cipher(mysql_);
    if (const std::string refusal = inclearrefusal(settings.tls, host, cipher ? cipher : "");
        !refusal.empty()) {
        mysql_close(mysql_);
        throw StoreError(refusal, 0, true);
    }
    try {
        run("SET SESSION autocommit = 0, wait_timeout = " + std::to_string(IdleSessionSeconds) +
            ", innodb_lock_wait_timeout = " + std::to_string(LockWaitSeconds));
    } catch (const StoreError&) {
        mysql_close(mysql_);
        throw;
    }
}

BatchConnection::~BatchConnection() { mysql_close(mysql_); }

void BatchConnection::fail() const { throw StoreError(mysql_error(mysql_), mysql_errno(mysql_)); }

void BatchConnection::run(const std::string& statement) {
    if (mysql_real_query(mysql_, statement.data(), statement.size()) != 0) fail();
    // A statement that returns rows (XA RECOVER) leaves them to be read.
    if (MYSQL_RES* result = mysql_store_result(mysql_))
        mysql_free_result(result);
    else if (mysql_field_count(mysql_) != 0)
        fail();
}

std::uint64_t BatchConnection::change(const std::string& statement) {
    if (mysql_real_query(mysql_, statement.data(), statement.size()) != 0) fail();
    return mysql_affected_rows(mysql_);
}

std::vector<std::vector<std::string>> BatchConnection::rows(const std::string& statement) {
    if (mysql_real_query(mysql_, statement.data(), statement.size()) != 0) fail();
    MYSQL_RES* result = mysql_store_result(mysql_);
    if (!result) {
        if (mysql_field_count(mysql_) != 0) fail();
        return {};
    }
    std::vector<std::vector<std::string>> rows;
    const unsigned columns = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        std::vector<std::string>& values = rows.emplace_back();
        for (unsigned i = 0; i < columns; ++i)
            values.emplace_back(row[i] ? std::string(row[i], lengths[i]) : std::string());
    }
    mysql_free_result(result);
    return rows;
}

std::optional<std::string> BatchConnection::value(const std::string& statement) {
    const auto found = rows(statement);
    if (found.empty() || found.front().empty()) return std::nullopt;
    return found.front().front();
}
