// A connection to the readings' server through the MariaDB client library.
#pragma once

#include <mysql.h>

#include <optional>
#include <string>
#include <vector>

#include "options.h"

namespace report {

class Database {
public:
    using Row = std::vector<std::optional<std::string>>;  // nullopt: SQL NULL

    // Connects, or throws std::runtime_error with the library's reason.
    explicit Database(const ConnectionSettings& settings);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs `sql` and returns every row of its result as text. Throws std::runtime_error
    // with the server's reason when it fails.
    std::vector<Row> query(const std::string& sql);

private:
    MYSQL* mysql_;
};

}  // namespace report
