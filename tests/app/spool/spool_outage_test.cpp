// motelog in spool mode while its database server goes away: killed mid-stream, or
// stopped until the spool is full. The tests run a server of their own (MOTELOG_DB_DIR,
// started durable, so a killed server keeps what it committed).
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "delay_proxy.h"
#include "journalrecord.h"
#include "password.h"
#include "readingstore.h"
#include "spool_run.h"
#include "test_database.h"

namespace {

using namespace std::chrono_literals;

constexpr auto Patience = 30s;

class SpoolOutageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(server("start"), 0);
        db_ = std::make_unique<TestDatabase>();
        db_->execute("TRUNCATE TABLE marrowby.test_data");
    }

    void TearDown() override {
        // A test that ran the server with its log flushed once a second leaves it durable.
        if (!durable_) {
            server("stop");
            server("start");
        }
    }

    int server(const std::string& command, bool durable = true) {
        if (command == "start") durable_ = durable;
        const std::string dir = std::getenv("MOTELOG_DB_DIR");
        return std::system((std::string(durable ? "MOTELOG_DB_DURABLE=1 " : "") +
                            MOTELOG_DB_SERVER " " + command + " " + dir + " >/dev/null")
                               .c_str());
    }

    bool durable_ = true;

    static void killserver() {
        std::ifstream pidfile(std::string(std::getenv("MOTELOG_DB_DIR")) + "/mysqld.pid");
        pid_t pid = 0;
        pidfile >> pid;
        ASSERT_GT(pid, 0);
        kill(pid, SIGKILL);
        while (kill(pid, 0) == 0) std::this_thread::sleep_for(10ms);
    }

    std::size_t rows(const std::string& where = "1") {
        return std::stoul(db_->scalar("SELECT COUNT(*) FROM marrowby.test_data WHERE " + where));
    }
    std::size_t motes(const std::string& where = "1") {
        return std::stoul(
            db_->scalar("SELECT COUNT(DISTINCT moteid) FROM marrowby.test_data WHERE " + where));
    }

    std::unique_ptr<ChildProcess> start(const std::vector<std::string>& extra = {}) {
        spool_ = freshdirectory("spool-outage");
        return startspooled(pty_, db_->clientenvironment(), spool_, extra);
    }

    std::unique_ptr<TestDatabase> db_;
    PtyPair pty_;
    std::string spool_;
};

TEST_F(SpoolOutageTest, AServerKilledMidStreamLosesNothingAndStoresNothingTwice) {
    constexpr int packets = 480;  // 3 s at the line rate
    std::vector<Bytes> line;
    for (int mote = 1; mote <= packets; ++mote)
        line.push_back(datapacket(0x01, 10, static_cast<std::uint16_t>(mote), {{4, 1}, {5, 2}}));
    auto run = start();
    std::thread restart;
    const std::vector<double> sent = sendpaced(pty_, *run, line, 6250us, [&](std::size_t i) {
        if (i == 80) killserver();
        if (i == 400) restart = std::thread([this] { server("start"); });
    });
    restart.join();
    db_ = std::make_unique<TestDatabase>();
    // The outage's last line follows the commit of the batch that ends it.
    const std::string back = "motelog: database available again after ";
    EXPECT_TRUE(readuntil(
        *run, [&] { return rows() >= 2 * packets && run->err().find(back) != std::string::npos; },
        Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);

    EXPECT_EQ(rows(), 2u * packets);
    EXPECT_EQ(db_->scalar("SELECT COUNT(*) FROM (SELECT moteid FROM marrowby.test_data GROUP BY "
                          "moteid HAVING COUNT(*) = 2) AS whole"),
              std::to_string(packets));
    // Stored with the second's precision of the column, on the same machine's clock.
    const auto stamps = [&](int mote) {
        return std::stod(db_->scalar("SELECT UNIX_TIMESTAMP(MAX(timestamp)) FROM marrowby.test_data "
                                     "WHERE moteid = " + std::to_string(mote)));
    };
    for (int mote = 1; mote <= packets; mote += 7)
        EXPECT_LE(std::fabs(stamps(mote) - sent[static_cast<std::size_t>(mote - 1)]), 2.0) << mote;
    EXPECT_NE(run->err().find("motelog: database unavailable, packets wait in the spool: "),
              std::string::npos)
        << run->err();
    EXPECT_NE(run->err().find(back), std::string::npos)
        << run->err();
}

TEST_F(SpoolOutageTest, AtItsCapTheSpoolDropsAndCountsUntilThereIsRoom) {
    ASSERT_EQ(server("stop"), 0);
    // 2 KiB hold 26 journal records. Stored records are released without waiting out the
    // replay window.
    auto run = start({"MOTELOG_SPOOL_MAX=2K", "MOTELOG_TEST_REPLAY_WINDOW_MS=0"});
    sendpaced(pty_, *run, packetsfrom(1, 50), 2ms);
    ASSERT_TRUE(run->waitForOccurrences("Header:", 50, Patience));

    ASSERT_EQ(server("start"), 0);
    db_ = std::make_unique<TestDatabase>();
    EXPECT_TRUE(readuntil(*run, [&] { return rows() >= 26; }, Patience));
    EXPECT_TRUE(run->waitForError("motelog: database available again", Patience)) << run->err();
    EXPECT_TRUE(readuntil(
        *run, [&] { return journaledrecords(spool_) * RecordSize < 1024; }, Patience))
        << journaledrecords(spool_) << " records";
    sendpaced(pty_, *run, {rawpacket(51), rawpacket(52)}, 2ms);
    EXPECT_TRUE(readuntil(*run, [&] { return rows() >= 28; }, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);

    EXPECT_EQ(rows("moteid BETWEEN 1 AND 26"), 26u);
    EXPECT_EQ(rows("moteid BETWEEN 27 AND 50"), 0u);
    EXPECT_EQ(rows("moteid IN (51, 52)"), 2u);
    const std::string& err = run->err();
    const std::string starts = "is full, dropping packets until there is room: the journal is at its "
                               "cap of 2048 bytes (MOTELOG_SPOOL_MAX)\n";
    EXPECT_NE(err.find(starts), std::string::npos) << err;
    EXPECT_NE(err.find("takes packets again; 24 packets were dropped\n"), std::string::npos) << err;
}

TEST_F(SpoolOutageTest, ASpoolThatFilledADiskSmallerThanASegmentTakesPacketsAgainOnceStored) {
    const std::string mountpoint = freshdirectory("spool-small-disk");
    const SmallDisk disk(mountpoint);
    if (!disk.mounted()) GTEST_SKIP() << disk.error() << " (needs root)";
    ASSERT_EQ(server("stop"), 0);
    auto run = startspooled(pty_, db_->clientenvironment(), mountpoint + "/spool");
    sendpaced(pty_, *run, packetsfrom(1, 300), 200us);
    ASSERT_TRUE(run->waitForOccurrences("Header:", 300, Patience));
    ASSERT_TRUE(run->waitForError("is full, dropping packets", Patience)) << run->err();

    ASSERT_EQ(server("start"), 0);
    db_ = std::make_unique<TestDatabase>();
    EXPECT_TRUE(run->waitForError("motelog: database available again", Patience)) << run->err();
    sendpaced(pty_, *run, {rawpacket(1001), rawpacket(1002), rawpacket(1003)}, 2ms);
    EXPECT_TRUE(readuntil(*run, [&] { return rows("moteid > 1000") == 3; }, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_NE(run->err().find("takes packets again;"), std::string::npos) << run->err();
    for (int mote = 1001; mote <= 1003; ++mote) EXPECT_EQ(rows("moteid = " + std::to_string(mote)), 1u);
    EXPECT_GT(rows("moteid <= 300"), 100u);
    EXPECT_EQ(motes("moteid <= 300"), rows("moteid <= 300"));
}

TEST_F(SpoolOutageTest, ARecordDamagedWhileItWaitsIsSkippedAndTheRestIsStored) {
    ASSERT_EQ(server("stop"), 0);
    const std::string spool = freshdirectory("spool-damaged");
    auto run = startspooled(pty_, db_->clientenvironment(), spool);
    sendpaced(pty_, *run, packetsfrom(1, 10), 2ms);
    ASSERT_TRUE(run->waitForOccurrences("Header:", 10, Patience));
    {
        std::fstream segment(spool + "/00000000000000000000.journal",
                             std::ios::in | std::ios::out | std::ios::binary);
        segment.seekp(4 * RecordSize + 20);  // inside the fifth packet (seq 4)
        segment.put('\x55');
    }

    ASSERT_EQ(server("start"), 0);
    db_ = std::make_unique<TestDatabase>();
    EXPECT_TRUE(readuntil(*run, [&] { return rows() >= 9; }, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(rows("moteid = 5"), 0u);
    EXPECT_EQ(rows("moteid <> 5"), 9u);
    EXPECT_EQ(motes(), 9u);
    EXPECT_NE(run->err().find("a record whose checksum does not match at byte 304 (packet seq 4); "
                              "skipped, never stored\n"),
              std::string::npos)
        << run->err();
    EXPECT_EQ(run->err().find("still unavailable"), std::string::npos) << run->err();
}

TEST_F(SpoolOutageTest, ACommitCutByTheNetworkLandsOnceAndNoOtherConnectionEnds) {
    // motelog reaches the server over TCP through the proxy, with an account for that address.
    const std::string password = buildpassword().data();
    db_->makenetworkaccount();
    DelayProxy proxy(static_cast<std::uint16_t>(std::stoul(std::getenv("MYSQL_TCP_PORT"))), {});
    // Another client of the same account, idle meanwhile, as a direct-mode motelog would be.
    const DbSettings settings{"localhost", password};
    ReadingStore idle(settings);

    constexpr int packets = 30;
    auto run =
        start({"MOTELOG_DB_HOST=127.0.0.1", "MYSQL_TCP_PORT=" + std::to_string(proxy.port())});
    sendpaced(pty_, *run, packetsfrom(1, packets), 20ms, [&](std::size_t i) {
        if (i == 5) proxy.cutat("COMMIT", DelayProxy::Cut::After);  // it lands; its answer is lost
        if (i != 15) return;
        // One cut at a time: a slow store may not have committed since the first was armed.
        EXPECT_TRUE(readuntil(*run, [&] { return proxy.cuts() == 1; }, Patience));
        proxy.cutat("COMMIT", DelayProxy::Cut::Before);
    });
    EXPECT_TRUE(readuntil(
        *run, [&] { return rows() >= packets; }, Patience))
        << run->err();
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    db_->execute("DROP USER 'quillon'@'127.0.0.1'");

    EXPECT_EQ(proxy.cuts(), 2);
    EXPECT_EQ(rows(), static_cast<std::size_t>(packets));
    EXPECT_EQ(rows("moteid BETWEEN 1 AND " + std::to_string(packets)),
              static_cast<std::size_t>(packets));
    EXPECT_EQ(motes(), static_cast<std::size_t>(packets));
    // The trace shows each packet stored once, those of the commit whose answer was lost too.
    for (int mote = 1; mote <= packets; ++mote) {
        char stored[32];
        std::snprintf(stored, sizeof stored, "MOTEID = 0x%04x,", static_cast<unsigned>(mote));
        std::size_t traced = 0;
        for (auto at = run->out().find(stored); at != std::string::npos;
             at = run->out().find(stored, at + 1))
            ++traced;
        EXPECT_EQ(traced, 1u) << "mote " << mote;
    }
    EXPECT_NO_THROW(insertreading(idle, packets + 1, 4, 1));
}

TEST_F(SpoolOutageTest, AServerThatLosesItsLastCommitsInACrashLosesNothingForMotelog) {
    // The InnoDB log written about once a second, as the private server does by default.
    ASSERT_EQ(server("stop"), 0);
    ASSERT_EQ(server("start", false), 0);
    db_ = std::make_unique<TestDatabase>();
    auto run = start();
    constexpr int rounds = 3, perround = 100;
    for (int round = 0; round < rounds; ++round) {
        sendpaced(pty_, *run, packetsfrom(round * perround + 1, perround), 5ms);
        // Killed as soon as it has taken the round's last packets: they are still in its log
        // buffer.
        EXPECT_TRUE(readuntil(
            *run, [&] { return rows("moteid = " + std::to_string((round + 1) * perround)) > 0; },
            Patience));
        killserver();
        ASSERT_EQ(server("start", false), 0);
        db_ = std::make_unique<TestDatabase>();
    }
    // The last round's commits come back when motelog finds them missing a replay window
    // later, while the line is idle.
    EXPECT_TRUE(readuntil(
        *run, [&] { return rows() >= rounds * perround; }, Patience))
        << run->err();
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(rows(), static_cast<std::size_t>(rounds * perround)) << run->err();
    EXPECT_EQ(motes(), static_cast<std::size_t>(rounds * perround));
}

}  // namespace
