// The schema as an administrator loads it, again and again, on the private test server.
#include <gtest/gtest.h>
#include <mysql.h>

#include <cstdlib>
#include <string>

#include "dbsettings.h"
#include "password.h"
#include "test_database.h"

namespace {

class SchemaTest : public DatabaseTest {
protected:
    void TearDown() override {
        if (IsSkipped()) return;
        db().execute(std::string("ALTER USER 'quillon'@'localhost' IDENTIFIED BY '") +
                     buildpassword().data() + "'");
        db().execute("DROP USER IF EXISTS 'schema_test_reader'@'localhost'");
    }

    // Loads the schema file as the server's administrator, through the mariadb client.
    void reload() {
        const std::string command = std::string(MOTELOG_DB_SERVER_SCRIPT) + " sql \"" +
                                    std::getenv("MOTELOG_DB_DIR") + "\" < " MOTELOG_SCHEMA_FILE;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // Through the client library itself: MySQL++ leaks the handle of a failed connection.
    static bool connects(const std::string& password) {
        MYSQL* mysql = mysql_init(nullptr);
        const bool connected = mysql_real_connect(mysql, "localhost", DatabaseUser,
                                                  password.c_str(), DatabaseName, 0, nullptr, 0);
        mysql_close(mysql);
        return connected;
    }
};

TEST_F(SchemaTest, AReloadKeepsAPasswordTheOperatorChose) {
    db().execute("ALTER USER 'quillon'@'localhost' IDENTIFIED BY 'the-operators-own'");
    reload();
    EXPECT_TRUE(connects("the-operators-own"));
    EXPECT_FALSE(connects(buildpassword().data()));
}

TEST_F(SchemaTest, TheLoggersAccountIsLocalAndMayOnlyInsertReadingsAndKeepItsStationsRow) {
    reload();
    EXPECT_EQ(db().scalar("SELECT GROUP_CONCAT(host) FROM mysql.user WHERE user = 'quillon'"),
              "localhost");
    const auto privileges = [&](const std::string& table) {
        return db().scalar(
            "SELECT GROUP_CONCAT(privilege_type ORDER BY privilege_type) FROM "
            "information_schema.table_privileges WHERE grantee = "
            "\"'quillon'@'localhost'\" AND table_name = '" +
            table + "'");
    };
    EXPECT_EQ(privileges("test_data"), "INSERT");
    EXPECT_EQ(privileges("motelog_station"), "INSERT,SELECT,UPDATE");
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM information_schema.schema_privileges WHERE "
                          "grantee = \"'quillon'@'localhost'\""),
              "0");
}

TEST_F(SchemaTest, TheReaderRoleMaySelectButNotInsert) {
    db().execute("CREATE USER 'schema_test_reader'@'localhost' IDENTIFIED BY 'reads'");
    db().execute("GRANT motelog_reader TO 'schema_test_reader'@'localhost'");
    db().execute("SET DEFAULT ROLE motelog_reader FOR 'schema_test_reader'@'localhost'");
    mysqlpp::Connection reader(true);
    reader.connect("marrowby", "localhost", "schema_test_reader", "reads");
    EXPECT_NO_THROW(reader.query("SELECT COUNT(*) FROM test_data").store());
    EXPECT_THROW(reader.query("INSERT INTO test_data VALUES (0, 1, now(), 1, 1)").execute(),
                 mysqlpp::BadQuery);
}

}  // namespace
