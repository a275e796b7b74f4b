// The benchmark's own connection to the private server, as its root user over the
// server's socket: for clearing the table, watching rows arrive and reading settings.
#pragma once

#include <mysql.h>

#include <string>
#include <vector>

class AdminConnection {
public:
    // Connects through `socketPath`. Throws std::runtime_error with the client's error text.
    explicit AdminConnection(const std::string& socketPath);
    ~AdminConnection();

    AdminConnection(const AdminConnection&) = delete;
    AdminConnection& operator=(const AdminConnection&) = delete;

    // Runs a statement; throws std::runtime_error with the server's error text.
    void execute(const std::string& statement);
    // The rows of a query, each a list of column texts ("" for NULL).
    std::vector<std::vector<std::string>> rows(const std::string& query);
    // The first column of the first row, "" when there is none.
    std::string scalar(const std::string& query);

private:
    MYSQL* handle_;
};
