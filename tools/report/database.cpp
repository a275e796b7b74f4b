#include "database.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace report {

namespace {

const char* orNull(const std::optional<std::string>& value) {
    return value ? value->c_str() : nullptr;
}

// The client library passes over a defaults file it cannot read, and would then connect
// with other settings, perhaps to another server.
void checkreadable(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        throw std::runtime_error("cannot read the defaults file " + path + ": " +
                                 std::strerror(errno));
    std::fclose(file);
}

}  // namespace

Database::Database(const ConnectionSettings& settings) {
    if (settings.defaultsfile) checkreadable(*settings.defaultsfile);
    mysql_ = mysql_init(nullptr);
    if (!mysql_) throw std::runtime_error("cannot start the MariaDB client library: out of memory");
    mysql_optionsv(mysql_, MYSQL_READ_DEFAULT_GROUP, "client");
    if (settings.defaultsfile)
        mysql_optionsv(mysql_, MYSQL_READ_DEFAULT_FILE, settings.defaultsfile->c_str());
    // The environment before the usual option files: Debian's [client-server] group names
    // the system server's socket, which would hide a MYSQL_UNIX_PORT set for another one.
    std::optional<std::string> socket = settings.socket;
    unsigned port = settings.port;
    if (!settings.defaultsfile) {
        if (!socket && std::getenv("MYSQL_UNIX_PORT")) socket = std::getenv("MYSQL_UNIX_PORT");
        if (!port && std::getenv("MYSQL_TCP_PORT"))
            port = static_cast<unsigned>(std::strtoul(std::getenv("MYSQL_TCP_PORT"), nullptr, 10));
    }
    // As the mariadb client does: a port given on the command line without a socket means
    // TCP, even to localhost, where the library would otherwise take the socket.
    if (settings.port && !settings.socket) {
        const unsigned tcp = MYSQL_PROTOCOL_TCP;
        mysql_optionsv(mysql_, MYSQL_OPT_PROTOCOL, &tcp);
    }
    if (settings.ssl || settings.verifyservercert)
        mysql_ssl_set(mysql_, orNull(settings.sslkey), orNull(settings.sslcert),
                      orNull(settings.sslca), nullptr, nullptr);
    if (settings.verifyservercert) {
        const my_bool yes = 1;
        mysql_optionsv(mysql_, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &yes);
    }
    const unsigned timeout = 10;
    mysql_optionsv(mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    // A server that stops answering ends the report instead of hanging it (a cron job, say);
    // the slowest query, over tens of millions of rows, takes seconds.
    const unsigned silence = 300;
    mysql_optionsv(mysql_, MYSQL_OPT_READ_TIMEOUT, &silence);
    mysql_optionsv(mysql_, MYSQL_OPT_WRITE_TIMEOUT, &silence);
    if (!mysql_real_connect(mysql_, orNull(settings.host), orNull(settings.user),
                            orNull(settings.password), nullptr, port, orNull(socket), 0)) {
        const std::string reason = mysql_error(mysql_);
        mysql_close(mysql_);
        throw std::runtime_error("cannot connect to the database server: " + reason);
    }
}

Database::~Database() { mysql_close(mysql_); }

std::vector<Database::Row> Database::query(const std::string& sql) {
    if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0)
        throw std::runtime_error("the query failed: " + std::string(mysql_error(mysql_)));
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_store_result(mysql_),
                                                                    &mysql_free_result);
    std::vector<Row> rows;
    if (!result) {
        if (mysql_field_count(mysql_) != 0)
            throw std::runtime_error("reading a result failed: " +
                                     std::string(mysql_error(mysql_)));
        return rows;
    }
    const unsigned columns = mysql_num_fields(result.get());
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(result.get());
        Row& out = rows.emplace_back();
        for (unsigned i = 0; i < columns; ++i) {
            if (row[i])
                out.emplace_back(std::string(row[i], lengths[i]));
            else
                out.emplace_back(std::nullopt);
        }
    }
    return rows;
}

}  // namespace report
