// The database servers a logger may use: MOTELOG_DB_HOST's comma-separated list.
#pragma once

#include <string>
#include <vector>

struct DbHost {
    std::string name;   // host name or address; "localhost" means the client library's socket
    unsigned port = 0;  // 0: the client library's default (MYSQL_TCP_PORT, else 3306)
};

// The hosts of `text`: entries separated by commas, each "name", "name:port", "[v6]" or
// "[v6]:port"; blanks around an entry are ignored. Throws std::invalid_argument naming the
// entry that is wrong.
std::vector<DbHost> parsehostlist(const std::string& text);

// What is wrong with the list `text`, or "" when it is right.
std::string hostlistproblem(const std::string& text);

// `host` as it is written in the list.
std::string hosttext(const DbHost& host);
