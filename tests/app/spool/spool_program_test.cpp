// motelog in spool mode against the shared test server: a stop with a backlog, a second
// motelog on the same spool, and a full disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

#include "arrivalclock.h"
#include "batchconnection.h"
#include "batchstatement.h"
#include "journal.h"
#include "password.h"
#include "progressfile.h"
#include "spool_run.h"
#include "test_database.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto Patience = 20s;

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// The store's trace of a packet from rawpacket().
std::string storedpart(int moteid) {
    return "perform insert: \n-----------------\nMOTEID = 0x" + hex4(static_cast<unsigned>(moteid)) +
           ", Inserting 1 entries... \nData_type = 0x0004, Data_value = 0x0007, Insert datatype 4 "
           "-- value: 7\nInserted row into test_data successfully\n\nHere is what was inserted:\n"
           "logid\nmoteid=" +
           std::to_string(moteid) + "\ntimestamp\ndata_type=4\ndata_value=7\n";
}

class SpoolTest : public DatabaseTest {
protected:
    std::unique_ptr<ChildProcess> start(const std::string& spool, const std::vector<std::string>& extra = {}) {
        return startspooled(pty_, db().clientenvironment(), spool, extra);
    }
    std::string absentsocket() { return "MYSQL_UNIX_PORT=" + db().socketpath() + ".absent"; }
    std::size_t rowsof(int first, int last) {
        return std::stoul(db().scalar("SELECT COUNT(*) FROM marrowby.test_data WHERE moteid BETWEEN " +
                                      std::to_string(first) + " AND " + std::to_string(last)));
    }

    // Runs `line` on a motelog whose database is away, stops it with SIGTERM, and stores
    // what it journaled with a second motelog: motes first..last each once.
    void stopthenstore(int first, int last, const std::function<void(ChildProcess&)>& line) {
        db().deletemotes(first, last);
        const std::string spool = freshdirectory("spool-stop");
        {
            auto down = start(spool, {absentsocket()});
            line(*down);
            EXPECT_EQ(down->waitForExit(Patience), 0);
        }
        auto up = start(spool);
        EXPECT_TRUE(readuntil(*up, [&] { return rowsof(first, last) >= static_cast<std::size_t>(last - first + 1); },
                              Patience));
        EXPECT_EQ(up->stop(SIGTERM, Patience), 0);
        for (int mote = first; mote <= last; ++mote) EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << mote;
    }

    PtyPair pty_;
};

TEST_F(SpoolTest, AStopDuringAnOutageKeepsTheBacklogForTheNextMotelog) {
    constexpr int first = 62001;
    db().deletemotes(first, first + 4);
    const std::string spool = freshdirectory("spool-backlog");
    std::string expected;
    {
        auto down = start(spool, {absentsocket()});
        for (int mote = first; mote < first + 5; ++mote) pty_.send(rawpacket(static_cast<std::uint16_t>(mote)));
        ASSERT_TRUE(down->waitForOccurrences("Header:", 5, Patience));
        const std::string outage = "motelog: database unavailable, packets wait in the spool: ";
        EXPECT_TRUE(readuntil(*down, [&] { return down->err().find(outage) != std::string::npos; },
                              Patience));
        const auto stopped = Clock::now();
        EXPECT_EQ(down->stop(SIGTERM, Patience), 0);
        EXPECT_LT(Clock::now() - stopped, 1s);
        EXPECT_NE(down->err().find(outage + "Can't connect to local server through socket"),
                  std::string::npos)
            << down->err();
        EXPECT_EQ(down->out().find("perform insert"), std::string::npos);
    }
    EXPECT_EQ(rowsof(first, first + 4), 0u);

    auto up = start(spool);
    for (int mote = first; mote < first + 5; ++mote) expected += storedpart(mote);
    EXPECT_TRUE(up->waitForOutput(expected, Patience));
    EXPECT_EQ(up->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(up->out(), expected);
    EXPECT_EQ(up->err(), "");
    for (int mote = first; mote < first + 5; ++mote) EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << mote;
}

TEST_F(SpoolTest, AStopFinishesThePacketItIsPartwayThroughAndJournalsIt) {
    constexpr int first = 62200;
    stopthenstore(first, first + 2, [&](ChildProcess& run) {
        pty_.send(rawpacket(first));
        pty_.send(rawpacket(first + 1));
        const Bytes last = rawpacket(first + 2);
        pty_.send(Bytes(last.begin(), last.begin() + 20));
        ASSERT_TRUE(run.waitForOccurrences("Header:", 3, Patience));
        run.signal(SIGTERM);
        std::this_thread::sleep_for(30ms);  // the rest of it, as a slow line delivers it
        pty_.send(Bytes(last.begin() + 20, last.end()));
    });
}

TEST_F(SpoolTest, AStopJournalsEveryPacketThePortHasAlreadyRead) {
    constexpr int first = 62210;
    constexpr int count = 300;
    stopthenstore(first, first + count - 1, [&](ChildProcess& run) {
        pty_.send(rawpacket(first));
        ASSERT_TRUE(run.waitForOccurrences("Header:", 1, Patience));
        Bytes burst;
        for (int mote = first + 1; mote < first + count; ++mote) {
            const Bytes packet = rawpacket(static_cast<std::uint16_t>(mote));
            burst.insert(burst.end(), packet.begin(), packet.end());
        }
        pty_.send(burst);
        run.signal(SIGTERM);
    });
}

TEST_F(SpoolTest, ASecondMotelogOnTheSameSpoolIsRefused) {
    constexpr int mote = 62010;
    db().deletemotes(mote, mote);
    const std::string spool = freshdirectory("spool-taken");
    auto first = start(spool);
    pty_.send(rawpacket(mote));
    ASSERT_TRUE(first->waitForOutput(storedpart(mote), Patience));

    PtyPair otherline;
    auto second = startspooled(otherline, db().clientenvironment(), spool);
    EXPECT_EQ(second->waitForExit(Patience), 3);
    EXPECT_EQ(second->err(), "motelog: the spool directory " + spool + " is in use by another motelog\n");
    EXPECT_EQ(second->out(), "");
    EXPECT_EQ(first->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
}

TEST_F(SpoolTest, ABatchPreparedOnAConnectionStillOpenIsCommittedNotSentAgain) {
    constexpr int mote = 62020;
    db().deletemotes(mote, mote);
    const std::string spool = freshdirectory("spool-prepared");
    // What a motelog leaves when its network fails after a batch's prepare: the batch in
    // the spool, its transaction prepared on a connection the server still holds.
    BatchConnection earlier(DbSettings{"localhost", buildpassword().data()});
    {
        std::ostringstream report;
        ProgressFile progress(spool, report);
        Journal journal(spool, 1 << 20, 0, report);
        MotePacket packet{};
        const Bytes bytes = inmemory(rawpacket(mote));
        std::copy(bytes.begin(), bytes.end(), reinterpret_cast<std::uint8_t*>(&packet));
        ASSERT_EQ(journal.append(arrivalnow(), packet).outcome, AppendResult::Stored);
        Progress p = progress.current();
        const std::string xid = batchxid(p.spoolid, p.generation + 1);
        earlier.run("XA START " + xid);
        earlier.run("insert into test_data (logid,moteid,timestamp,data_type,data_value) values(0," +
                    std::to_string(mote) + ",now(),4,7)");
        earlier.run("XA END " + xid);
        earlier.run("XA PREPARE " + xid);
        p.batch = Progress::Prepared;
        p.batchcount = 1;
        p.batchxid = p.generation + 1;
        p.batchsession = earlier.session();
        progress.write(p);
    }

    auto run = start(spool);
    EXPECT_TRUE(run->waitForOutput(storedpart(mote), Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->out(), storedpart(mote));
    EXPECT_EQ(run->err(), "");
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
}

TEST_F(SpoolTest, NewPacketsAreStoredAfterTheJournalLostRecordsItHadStored) {
    constexpr int first = 62030;
    db().deletemotes(first, first + 7);
    const std::string spool = freshdirectory("spool-lost-tail");
    {
        auto run = start(spool);
        std::vector<Bytes> packets;
        for (int mote = first; mote < first + 5; ++mote)
            packets.push_back(rawpacket(static_cast<std::uint16_t>(mote)));
        sendpaced(pty_, *run, packets, 2ms);
        ASSERT_TRUE(readuntil(*run, [&] { return rowsof(first, first + 4) == 5; }, Patience));
        EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    }
    // A power cut can take the journal's last records, already stored, off the disk.
    for (const auto& entry : std::filesystem::directory_iterator(spool))
        if (entry.path().extension() == ".journal")
            std::filesystem::resize_file(entry.path(), 2 * RecordSize);

    auto run = start(spool);
    std::vector<Bytes> later;
    for (int mote = first + 5; mote < first + 8; ++mote)
        later.push_back(rawpacket(static_cast<std::uint16_t>(mote)));
    sendpaced(pty_, *run, later, 2ms);
    EXPECT_TRUE(readuntil(*run, [&] { return rowsof(first + 5, first + 7) == 3; }, 5s));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(rowsof(first, first + 7), 8u);
}

TEST_F(SpoolTest, AFullDiskDropsPacketsAndLeavesTheJournalWhole) {
    constexpr int first = 62100;
    constexpr int sent = 400;
    db().deletemotes(first, first + sent);
    const std::string mountpoint = freshdirectory("spool-disk");
    const SmallDisk disk(mountpoint);
    if (!disk.mounted()) GTEST_SKIP() << disk.error() << " (needs root)";
    const std::string spool = mountpoint + "/spool";
    {
        auto down = start(spool, {absentsocket()});
        std::vector<Bytes> packets;
        for (int i = 0; i < sent; ++i) packets.push_back(rawpacket(static_cast<std::uint16_t>(first + i)));
        sendpaced(pty_, *down, packets, 200us);
        ASSERT_TRUE(down->waitForOccurrences("Header:", sent, Patience));
        EXPECT_EQ(down->stop(SIGTERM, Patience), 0);
        EXPECT_NE(down->err().find("motelog: spool " + spool +
                                   " is full, dropping packets until there is room: cannot write "
                                   "the journal: No space left on device\n"),
                  std::string::npos)
            << down->err();
    }
    const std::size_t kept = journaledrecords(spool);
    ASSERT_GT(kept, 50u);
    ASSERT_LT(kept, static_cast<std::size_t>(sent));

    auto up = start(spool);
    EXPECT_TRUE(readuntil(*up, [&] { return rowsof(first, first + sent) >= kept; }, Patience));
    EXPECT_EQ(up->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(up->err(), "");  // no damaged record to report
    EXPECT_EQ(rowsof(first, first + static_cast<int>(kept) - 1), kept);
    EXPECT_EQ(rowsof(first + static_cast<int>(kept), first + sent), 0u);
}

}  // namespace
