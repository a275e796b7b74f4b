// motelog in spool mode while its database server goes away: killed mid-stream, or
// stopped until the spool is full. The tests run a server of their own (MOTELOG_DB_DIR,
// started durable, so a killed server keeps what it committed).
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

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

    static int server(const std::string& command) {
        const std::string dir = std::getenv("MOTELOG_DB_DIR");
        return std::system(("MOTELOG_DB_DURABLE=1 " MOTELOG_DB_SERVER " " + command + " " + dir +
                            " >/dev/null")
                               .c_str());
    }

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

    std::unique_ptr<ChildProcess> start(const std::vector<std::string>& extra = {}) {
        spool_ = freshdirectory("spool-outage");
        return startspooled(pty_, db_->clientenvironment(), spool_, extra);
    }

    std::uintmax_t journalbytes() {
        std::uintmax_t bytes = 0;
        for (const auto& entry : std::filesystem::directory_iterator(spool_))
            if (entry.path().extension() == ".journal") bytes += entry.file_size();
        return bytes;
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
        if (i == 400) restart = std::thread([] { server("start"); });
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
    // 2 KiB hold 39 journal records. Stored records are released without waiting out the
    // replay window.
    auto run = start({"MOTELOG_SPOOL_MAX=2K", "MOTELOG_TEST_REPLAY_WINDOW_MS=0"});
    std::vector<Bytes> line;
    for (int mote = 1; mote <= 50; ++mote) line.push_back(rawpacket(static_cast<std::uint16_t>(mote)));
    sendpaced(pty_, *run, line, 2ms);
    ASSERT_TRUE(run->waitForOccurrences("Header:", 50, Patience));

    ASSERT_EQ(server("start"), 0);
    db_ = std::make_unique<TestDatabase>();
    EXPECT_TRUE(readuntil(*run, [&] { return rows() >= 39; }, Patience));
    EXPECT_TRUE(run->waitForError("motelog: database available again", Patience)) << run->err();
    EXPECT_TRUE(readuntil(*run, [&] { return journalbytes() < 1024; }, Patience)) << journalbytes();
    sendpaced(pty_, *run, {rawpacket(51), rawpacket(52)}, 2ms);
    EXPECT_TRUE(readuntil(*run, [&] { return rows() >= 41; }, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);

    EXPECT_EQ(rows("moteid BETWEEN 1 AND 39"), 39u);
    EXPECT_EQ(rows("moteid BETWEEN 40 AND 50"), 0u);
    EXPECT_EQ(rows("moteid IN (51, 52)"), 2u);
    const std::string& err = run->err();
    const std::string starts = "is full, dropping packets until there is room: the journal is at its "
                               "cap of 2048 bytes (MOTELOG_SPOOL_MAX)\n";
    EXPECT_NE(err.find(starts), std::string::npos) << err;
    EXPECT_NE(err.find("takes packets again; 11 packets were dropped\n"), std::string::npos) << err;
}

}  // namespace
