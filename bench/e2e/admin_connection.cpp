#include "admin_connection.h"

#include <stdexcept>

AdminConnection::AdminConnection(const std::string& socketPath) : handle_(mysql_init(nullptr)) {
    if (!handle_) throw std::runtime_error("mysql_init: out of memory");
    if (!mysql_real_connect(handle_, nullptr, "root", nullptr, nullptr, 0, socketPath.c_str(), 0)) {
        const std::string error = mysql_error(handle_);
        mysql_close(handle_);
        throw std::runtime_error("connecting to " + socketPath + ": " + error);
    }
}

AdminConnection::~AdminConnection() { mysql_close(handle_); }

void AdminConnection::execute(const std::string& statement) {
    if (mysql_query(handle_, statement.c_str()) != 0)
        throw std::runtime_error(statement + ": " + mysql_error(handle_));
    if (MYSQL_RES* result = mysql_store_result(handle_)) mysql_free_result(result);
}

std::vector<std::vector<std::string>> AdminConnection::rows(const std::string& query) {
    if (mysql_query(handle_, query.c_str()) != 0)
        throw std::runtime_error(query + ": " + mysql_error(handle_));
    MYSQL_RES* result = mysql_store_result(handle_);
    std::vector<std::vector<std::string>> table;
    if (!result) return table;
    const unsigned columns = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        std::vector<std::string> line;
        for (unsigned i = 0; i < columns; ++i) line.push_back(row[i] ? row[i] : "");
        table.push_back(std::move(line));
    }
    mysql_free_result(result);
    return table;
}

std::string AdminConnection::scalar(const std::string& query) {
    const auto table = rows(query);
    return table.empty() || table[0].empty() ? std::string() : table[0][0];
}
