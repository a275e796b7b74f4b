// The private test server (scripts/db-server), reached as its root user to prepare and
// inspect what the logger stores. The server's directory comes from MOTELOG_DB_DIR; its
// client.env is loaded into this process's environment, so the logger's client library
// and child processes find the same server.
#pragma once

#include <gtest/gtest.h>
#include <mysql++.h>

#include <memory>
#include <string>
#include <vector>

struct StoredRow {
    unsigned long long logid;
    int moteid;
    std::string timestamp;  // "YYYY-MM-DD HH:MM:SS", the server's clock
    int data_type;
    double data_value;
};

// The logger's account for connections over TCP from this machine, which the schema does
// not make (its account serves local sockets only): made by makenetworkaccount().
inline const std::string NetworkAccount = "'quillon'@'127.0.0.1'";

// One entry of the server's general query log.
struct LoggedCommand {
    unsigned long long thread_id;  // the connection
    std::string command_type;      // "Connect", "Init DB", "Query", "Quit", ...
    std::string argument;          // the statement text for "Query"
};

class TestDatabase {
public:
    // Connects as root; throws std::runtime_error saying why when the server cannot be
    // reached.
    TestDatabase();

    // The server directory's client settings, as "NAME=value" entries.
    const std::vector<std::string>& clientenvironment() const { return clientenv_; }
    const std::string& socketpath() const { return socket_; }

    void execute(const std::string& sql);
    // The first column of the first row of a statement's result.
    std::string scalar(const std::string& sql);

    // The server's clock, to the microsecond: marks where a test's log entries begin.
    std::string servertime();

    void deletemotes(int firstmote, int lastmote);
    std::vector<StoredRow> rowsofmote(int moteid);
    // The rows, and the distinct motes, of test_data with mote ids first..last.
    std::size_t rowsbetween(int firstmote, int lastmote);
    std::size_t motesbetween(int firstmote, int lastmote);

    // NetworkAccount with the built-in password and the grants of both modes, as an
    // operator makes it for a base station on the network. Dropped by the caller.
    void makenetworkaccount();
    // MYSQL_UNIX_PORT naming a socket that is not there: no server can be reached by it.
    std::string absentsocket() const { return "MYSQL_UNIX_PORT=" + socket_ + ".absent"; }

    // Turns the general query log on (into mysql.general_log) for every session.
    void loggeneralqueries();
    // The quillon user's commands logged at or after `since`, in order.
    std::vector<LoggedCommand> loggercommandssince(const std::string& since);
    // The same, once `quits` connections have been logged as closed (the server logs a
    // client's quit after the client has gone on), or after a few seconds.
    std::vector<LoggedCommand> loggercommandsafterquits(const std::string& since, int quits);

private:
    std::vector<std::string> clientenv_;
    std::string socket_;
    mysqlpp::Connection connection_;
};

// A test that needs the server. Set up fails the test when CI=true and the server cannot
// be reached, and skips it with the reason otherwise.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override;
    TestDatabase& db() { return *db_; }

private:
    std::unique_ptr<TestDatabase> db_;
};

// The command types of each connection in `commands`, connections in the order they
// appear; "Query" entries are left out unless `withqueries`. A connection's quit may be
// logged after the next connection's first commands, so this groups by connection.
std::vector<std::vector<std::string>> connectioncommands(const std::vector<LoggedCommand>& commands,
                                                         bool withqueries);

// The insert statements among `commands` (a trigger's statements are logged too).
std::vector<std::string> insertsof(const std::vector<LoggedCommand>& commands);
