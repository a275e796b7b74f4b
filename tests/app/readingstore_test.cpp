// The reading store against the private test server.
#include "readingstore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbsettings.h"
#include "password.h"
#include "test_database.h"

namespace {

constexpr int FirstMote = 61000;
constexpr int LastMote = 61099;

const std::string InsertPrefix =
    "insert into test_data (logid,moteid,timestamp,data_type,data_value) values(0,";

class ReadingStoreTest : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        db().deletemotes(FirstMote, LastMote);
        db().loggeneralqueries();
        settings_ = DbSettings{"localhost", buildpassword().data()};
    }

    DbSettings settings_;
};

TEST_F(ReadingStoreTest, EachInsertIsARowWithAFreshIdAndTheServersTime) {
    const std::string before = db().scalar("SELECT NOW()");
    {
        ReadingStore store(settings_);
        insertreading(store, FirstMote, 1, 80.74239974610572);
        insertreading(store, FirstMote, 2, 68.71999999999998);
        insertreading(store, FirstMote, 0xFFFF, 4660);
    }
    const std::string after = db().scalar("SELECT NOW()");

    const std::vector<StoredRow> rows = db().rowsofmote(FirstMote);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_GT(rows[0].logid, 0u);
    EXPECT_LT(rows[0].logid, rows[1].logid);
    EXPECT_LT(rows[1].logid, rows[2].logid);
    EXPECT_EQ(rows[0].data_type, 1);
    EXPECT_EQ(rows[0].data_value, 80.7424);
    EXPECT_EQ(rows[1].data_type, 2);
    EXPECT_EQ(rows[1].data_value, 68.72);
    EXPECT_EQ(rows[2].data_type, 65535);
    EXPECT_EQ(rows[2].data_value, 4660.0);
    for (const StoredRow& row : rows) {
        EXPECT_EQ(row.moteid, FirstMote);
        EXPECT_GE(row.timestamp, before);
        EXPECT_LE(row.timestamp, after);
    }
}

TEST_F(ReadingStoreTest, StatementsCarryValuesAsPrintfGAndNowUnquoted) {
    const std::string since = db().servertime();
    {
        ReadingStore store(settings_);
        insertreading(store, FirstMote + 1, 1, 80.74239974610572);
        insertreading(store, FirstMote + 1, 2, 68.71999999999998);
        insertreading(store, FirstMote + 1, 1, 0.0005057009520413858);
        insertreading(store, FirstMote + 1, 4, 4660);
        insertreading(store, FirstMote + 1, 2, -39.28);
        insertreading(store, FirstMote + 1, 3, -9375.37393);
    }
    const std::string mote = std::to_string(FirstMote + 1);
    EXPECT_EQ(insertsof(db().loggercommandssince(since)),
              (std::vector<std::string>{
                  InsertPrefix + mote + ",now(),1,80.7424)",
                  InsertPrefix + mote + ",now(),2,68.72)",
                  InsertPrefix + mote + ",now(),1,0.000505701)",
                  InsertPrefix + mote + ",now(),4,4660)",
                  InsertPrefix + mote + ",now(),2,-39.28)",
                  InsertPrefix + mote + ",now(),3,-9375.37)",
              }));
    const std::vector<StoredRow> rows = db().rowsofmote(FirstMote + 1);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[2].data_value, 0.000505701);
    EXPECT_EQ(rows[5].data_value, -9375.37);
}

TEST_F(ReadingStoreTest, OneConnectionPerStoreClosedWhenTheStoreGoes) {
    const std::string since = db().servertime();
    for (int packet = 0; packet < 2; ++packet) {
        ReadingStore store(settings_);
        for (int reading = 0; reading < 3; ++reading)
            insertreading(store, FirstMote + 2, reading, reading);
    }
    {
        ReadingStore empty(settings_);  // a packet without readings still connects
    }

    const std::vector<std::string> opened = {"Connect", "Init DB"};
    std::vector<std::string> used = opened;
    used.insert(used.end(), 3, "Query");
    used.push_back("Quit");
    std::vector<std::string> unused = opened;
    unused.push_back("Quit");
    EXPECT_EQ(connectioncommands(db().loggercommandsafterquits(since, 3), true),
              (std::vector<std::vector<std::string>>{used, used, unused}));
}

TEST_F(ReadingStoreTest, TheLoggersAccountCanOnlyInsert) {
    ReadingStore store(settings_);
    store.query() << "SELECT COUNT(*) FROM test_data";
    EXPECT_THROW(store.query().store(), mysqlpp::BadQuery);
    store.query().reset();
    store.query() << "DELETE FROM test_data WHERE moteid = " << FirstMote + 3;
    EXPECT_THROW(store.query().execute(), mysqlpp::BadQuery);
}

}  // namespace
