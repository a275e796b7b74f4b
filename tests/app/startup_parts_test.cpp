// The small pieces around the loop: error lines, deployment settings, the password and
// the database error texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "dbsettings.h"
#include "password.h"
#include "readingstore.h"
#include "reporterror.h"
#include "storepacket.h"

namespace {

TEST(ReportError, WritesTheStoredCodeOnlyWhenTheResultIsAFailure) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reporterror(0, 6));
    EXPECT_TRUE(reporterror(2, 2));
    EXPECT_TRUE(reporterror(1460, 6));  // tests the result, prints the stored code
    EXPECT_TRUE(reporterror(-2147024809, -2147024809));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Win32 Error Code: 2\nWin32 Error Code: 6\nWin32 Error Code: -2147024809\n");
}

class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvironmentVariable() {
        if (old_.empty())
            unsetenv(name_);
        else
            setenv(name_, old_.c_str(), 1);
    }

private:
    const char* name_;
    std::string old_;
};

TEST(DbSettings, DefaultsToLocalhostAndTheBuiltPassword) {
    EnvironmentVariable host("MOTELOG_DB_HOST", nullptr);
    EnvironmentVariable password("MOTELOG_DB_PASSWORD", nullptr);
    const DbSettings settings = dbsettingsfromenvironment(buildpassword());
    EXPECT_EQ(settings.host, "localhost");
    EXPECT_EQ(settings.password, buildpassword().data());
}

TEST(DbSettings, TakesHostAndPasswordFromTheEnvironment) {
    EnvironmentVariable host("MOTELOG_DB_HOST", "db.example");
    EnvironmentVariable password("MOTELOG_DB_PASSWORD", "secret");
    const DbSettings settings = dbsettingsfromenvironment(buildpassword());
    EXPECT_EQ(settings.host, "db.example");
    EXPECT_EQ(settings.password, "secret");
}

TEST(BuildPassword, IsFiveCharactersAndMatchesTheSchemaAccount) {
    const Password password = buildpassword();
    EXPECT_EQ(std::string(password.data()).size(), 5u);
    EXPECT_EQ(password[5], '\0');

    std::ifstream schema(MOTELOG_SCHEMA_FILE);
    ASSERT_TRUE(schema) << MOTELOG_SCHEMA_FILE;
    std::stringstream text;
    text << schema.rdbuf();
    const std::string sql = text.str();
    const std::regex account(R"('quillon'@'[^']*' IDENTIFIED BY '([^']*)')");
    int accounts = 0;
    for (auto it = std::sregex_iterator(sql.begin(), sql.end(), account);
         it != std::sregex_iterator(); ++it, ++accounts)
        EXPECT_EQ((*it)[1].str(), password.data());
    EXPECT_GT(accounts, 0);
}

TEST(SqlNumberText, WritesDoublesAsPrintfG) {
    EXPECT_EQ(sqlnumbertext(80.74239974610572), "80.7424");
    EXPECT_EQ(sqlnumbertext(68.71999999999998), "68.72");
    EXPECT_EQ(sqlnumbertext(0.0005057009520413858), "0.000505701");
    EXPECT_EQ(sqlnumbertext(4660), "4660");
    EXPECT_EQ(sqlnumbertext(-39.28), "-39.28");
    EXPECT_EQ(sqlnumbertext(-9375.37393), "-9375.37");
    EXPECT_EQ(sqlnumbertext(0.00001234), "1.234e-05");
    EXPECT_EQ(sqlnumbertext(1234567.0), "1.23457e+06");
}

TEST(ConversionErrorText, QuotesTheDataAndTheTargetType) {
    const mysqlpp::BadConversion error("int", "12ab", 0, 4);
    EXPECT_EQ(conversionerrortext(error), "Error: Tried to convert \"12ab\" to a \"int\".");
}

}  // namespace
