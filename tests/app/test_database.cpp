#include "test_database.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "password.h"

namespace {

// Reads DIR/client.env ("export NAME=value" lines) and puts each setting into the
// environment.
std::vector<std::string> loadclientenvironment(const std::string& dir) {
    std::ifstream file(dir + "/client.env");
    if (!file)
        throw std::runtime_error("no " + dir +
                                 "/client.env: the server is not running (scripts/db-server "
                                 "start " +
                                 dir + ")");
    std::vector<std::string> settings;
    std::string line;
    const std::string prefix = "export ";
    while (std::getline(file, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string setting = line.substr(prefix.size());
        const auto equals = setting.find('=');
        if (equals == std::string::npos) continue;
        setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
        settings.push_back(setting);
    }
    return settings;
}

std::string requireddir() {
    const char* dir = std::getenv("MOTELOG_DB_DIR");
    if (!dir || !*dir)
        throw std::runtime_error("MOTELOG_DB_DIR is not set; run the test through ctest");
    return dir;
}

}  // namespace

TestDatabase::TestDatabase() : connection_(true) {
    const std::string dir = requireddir();
    clientenv_ = loadclientenvironment(dir);
    const char* socket = std::getenv("MYSQL_UNIX_PORT");
    socket_ = socket ? socket : "";
    try {
        connection_.connect("marrowby", "localhost", "root", "");
    } catch (const mysqlpp::Exception& error) {
        throw std::runtime_error(std::string("cannot reach the test server: ") + error.what());
    }
}

void TestDatabase::execute(const std::string& sql) { connection_.query(sql).execute(); }

std::string TestDatabase::scalar(const std::string& sql) {
    const mysqlpp::StoreQueryResult result = connection_.query(sql).store();
    if (result.num_rows() == 0) throw std::runtime_error("no rows from: " + sql);
    return std::string(result[0][0].data(), result[0][0].length());
}

std::string TestDatabase::servertime() { return scalar("SELECT NOW(6)"); }

void TestDatabase::deletemotes(int firstmote, int lastmote) {
    execute("DELETE FROM marrowby.test_data WHERE moteid BETWEEN " + std::to_string(firstmote) +
            " AND " + std::to_string(lastmote));
}

std::size_t TestDatabase::rowsbetween(int firstmote, int lastmote) {
    return std::stoul(scalar("SELECT COUNT(*) FROM marrowby.test_data WHERE moteid BETWEEN " +
                             std::to_string(firstmote) + " AND " + std::to_string(lastmote)));
}

std::size_t TestDatabase::motesbetween(int firstmote, int lastmote) {
    return std::stoul(
        scalar("SELECT COUNT(DISTINCT moteid) FROM marrowby.test_data WHERE moteid BETWEEN " +
               std::to_string(firstmote) + " AND " + std::to_string(lastmote)));
}

void TestDatabase::makenetworkaccount() {
    execute("CREATE OR REPLACE USER " + NetworkAccount + " IDENTIFIED BY '" +
            buildpassword().data() + "'");
    execute("GRANT INSERT ON marrowby.test_data TO " + NetworkAccount);
    execute("GRANT SELECT, INSERT, UPDATE ON marrowby.motelog_station TO " + NetworkAccount);
}

std::vector<StoredRow> TestDatabase::rowsofmote(int moteid) {
    const mysqlpp::StoreQueryResult result =
        connection_
            .query(
                "SELECT logid, moteid, timestamp, data_type, data_value "
                "FROM marrowby.test_data WHERE moteid = " +
                std::to_string(moteid) + " ORDER BY logid")
            .store();
    std::vector<StoredRow> rows;
    for (const mysqlpp::Row& row : result)
        rows.push_back(StoredRow{static_cast<unsigned long long>(row[0]), static_cast<int>(row[1]),
                                 std::string(row[2].data(), row[2].length()),
                                 static_cast<int>(row[3]), static_cast<double>(row[4])});
    return rows;
}

void TestDatabase::loggeneralqueries() {
    execute("SET GLOBAL log_output = 'TABLE'");
    execute("SET GLOBAL general_log = 1");
}

std::vector<LoggedCommand> TestDatabase::loggercommandssince(const std::string& since) {
    // The logger's connections are told apart from ours by their Connect entry; the log
    // table keeps its entries in the order they were written.
    const mysqlpp::StoreQueryResult result =
        connection_
            .query(
                "SELECT thread_id, command_type, argument FROM mysql.general_log "
                "WHERE event_time >= '" +
                since +
                "' AND thread_id IN ("
                "  SELECT thread_id FROM mysql.general_log WHERE command_type = 'Connect'"
                "  AND argument LIKE 'quillon@%' AND event_time >= '" +
                since + "')")
            .store();
    std::vector<LoggedCommand> commands;
    for (const mysqlpp::Row& row : result)
        commands.push_back(LoggedCommand{static_cast<unsigned long long>(row[0]),
                                         std::string(row[1].data(), row[1].length()),
                                         std::string(row[2].data(), row[2].length())});
    return commands;
}

std::vector<LoggedCommand> TestDatabase::loggercommandsafterquits(const std::string& since,
                                                                  int quits) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        std::vector<LoggedCommand> commands = loggercommandssince(since);
        const auto logged =
            std::count_if(commands.begin(), commands.end(),
                          [](const LoggedCommand& c) { return c.command_type == "Quit"; });
        if (logged >= quits || std::chrono::steady_clock::now() >= deadline) return commands;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void DatabaseTest::SetUp() {
    try {
        db_ = std::make_unique<TestDatabase>();
    } catch (const std::exception& error) {
        const char* ci = std::getenv("CI");
        if (ci && std::string(ci) == "true") FAIL() << error.what();
        GTEST_SKIP() << error.what();
    }
}

std::vector<std::string> insertsof(const std::vector<LoggedCommand>& commands) {
    std::vector<std::string> statements;
    for (const LoggedCommand& command : commands)
        if (command.command_type == "Query" && command.argument.compare(0, 7, "insert ") == 0)
            statements.push_back(command.argument);
    return statements;
}

std::vector<std::vector<std::string>> connectioncommands(const std::vector<LoggedCommand>& commands,
                                                         bool withqueries) {
    std::vector<unsigned long long> threads;
    std::vector<std::vector<std::string>> types;
    for (const LoggedCommand& command : commands) {
        auto known = std::find(threads.begin(), threads.end(), command.thread_id);
        if (known == threads.end()) {
            threads.push_back(command.thread_id);
            types.emplace_back();
            known = threads.end() - 1;
        }
        if (withqueries || command.command_type != "Query")
            types[static_cast<std::size_t>(known - threads.begin())].push_back(
                command.command_type);
    }
    return types;
}
