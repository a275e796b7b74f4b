// motelog in spool mode against the shared test server: a stop with a backlog, a second
// motelog on the same spool, and a full disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "arrivalclock.h"
#include "batchconnection.h"
#include "batchstatement.h"
#include "bytefields.h"
#include "crc32.h"
#include "journal.h"
#include "password.h"
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
    // Sends `count` packets of motes from `first` on to `run`; true once each has its row.
    bool sendstored(ChildProcess& run, int first, int count) {
        sendpaced(pty_, run, packetsfrom(first, count), 2ms);
        return readuntil(
            run, [&] { return db().rowsbetween(first, first + count - 1) == static_cast<std::size_t>(count); },
            Patience);
    }

    // Runs `line` on a motelog whose database is away, stops it with SIGTERM, and stores
    // what it journaled with a second motelog: motes first..last each once.
    void stopthenstore(int first, int last, const std::function<void(ChildProcess&)>& line) {
        db().deletemotes(first, last);
        const std::string spool = freshdirectory("spool-stop");
        {
            auto down = start(spool, {db().absentsocket()});
            line(*down);
            EXPECT_EQ(down->waitForExit(Patience), 0);
        }
        auto up = start(spool);
        EXPECT_TRUE(readuntil(*up, [&] { return db().rowsbetween(first, last) >= static_cast<std::size_t>(last - first + 1); },
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
        auto down = start(spool, {db().absentsocket()});
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
    EXPECT_EQ(db().rowsbetween(first, first + 4), 0u);

    auto up = start(spool);
    for (int mote = first; mote < first + 5; ++mote) expected += storedpart(mote);
    EXPECT_TRUE(up->waitForOutput(expected, Patience)) << up->err();
    EXPECT_EQ(up->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(up->out(), expected);
    EXPECT_EQ(up->err(), "");
    for (int mote = first; mote < first + 5; ++mote) EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << mote;
}

TEST_F(SpoolTest, ABacklogTracedFasterThanTheTraceBacklogTakesIsTracedWhole) {
    // One batch of 300 packets, its trace about 70 KB, into a file, which takes text as
    // fast as it comes: no line may be dropped, however small the trace backlog.
    constexpr int first = 64000, count = 300;
    db().deletemotes(first, first + count - 1);
    const std::string spool = freshdirectory("spool-trace-backlog");
    {
        auto down = start(spool, {db().absentsocket()});
        sendpaced(pty_, *down, packetsfrom(first, count), 100us);
        ASSERT_TRUE(down->waitForOccurrences("Header:", count, Patience));
        EXPECT_EQ(down->stop(SIGTERM, Patience), 0);
    }
    const std::string tracefile = spool + ".trace";
    auto up = startspooled(pty_, db().clientenvironment(), spool,
                           {"MOTELOG_TRACE_BACKLOG=16384"}, {}, tracefile);
    EXPECT_TRUE(
        readuntil(*up, [&] { return db().rowsbetween(first, first + count - 1) == count; }, Patience));
    EXPECT_EQ(up->stop(SIGTERM, Patience), 0);
    std::string expected;
    for (int mote = first; mote < first + count; ++mote) expected += storedpart(mote);
    std::ostringstream traced;
    traced << std::ifstream(tracefile).rdbuf();
    EXPECT_EQ(traced.str(), expected);
    EXPECT_EQ(up->err(), "");
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

// The progress file of motelog's XA version with one slot: a batch of `count` records from
// seq 0 on, prepared as transaction `xid` of spool `spoolid`.
void writexaprogress(const std::string& spool, std::uint64_t spoolid, std::uint64_t xid,
                     std::uint32_t count) {
    std::vector<std::uint8_t> slot(56);
    putle(slot.data(), 0x47504C4Du, 4);
    putle(slot.data() + 8, xid, 8);  // the generation that named the transaction
    putle(slot.data() + 16, spoolid, 8);
    putle(slot.data() + 32, 2, 4);  // prepared
    putle(slot.data() + 36, count, 4);
    putle(slot.data() + 40, xid, 8);
    putle(slot.data() + 4, crc32of(slot.data() + 8, slot.size() - 8), 4);
    std::ofstream(spool + "/progress", std::ios::binary)
        .write(reinterpret_cast<const char*>(slot.data()),
               static_cast<std::streamsize>(slot.size()));
}

TEST_F(SpoolTest, ABatchLeftPreparedByTheXaVersionIsCommittedOnceWithoutEndingItsConnection) {
    constexpr int mote = 62020;
    const std::string xid = batchxid(0x5eed, 7);
    try {
        db().execute("XA ROLLBACK " + xid);  // left by a run of this test that failed
    } catch (const mysqlpp::BadQuery&) {
    }
    db().deletemotes(mote, mote + 1);
    const std::string spool = freshdirectory("spool-prepared");
    // What the XA version leaves when its network fails after a batch's prepare: the batch
    // in the spool, its transaction prepared on a connection the server still holds.
    auto earlier = std::make_unique<BatchConnection>(
        DbSettings{"localhost", buildpassword().data()}, DbHost{"localhost", 0});
    {
        std::ostringstream report;
        Journal journal(spool, 1 << 20, 0, report);
        MotePacket packet{};
        const Bytes bytes = inmemory(rawpacket(mote));
        std::copy(bytes.begin(), bytes.end(), reinterpret_cast<std::uint8_t*>(&packet));
        ASSERT_EQ(journal.append(arrivalnow(), packet).outcome, AppendResult::Stored);
        earlier->run("XA START " + xid);
        earlier->run(
            "insert into test_data (logid,moteid,timestamp,data_type,data_value) values(0," +
            std::to_string(mote) + ",now(),4,7)");
        earlier->run("XA END " + xid);
        earlier->run("XA PREPARE " + xid);
        writexaprogress(spool, 0x5eed, 7, 1);
    }

    auto run = start(spool);
    EXPECT_TRUE(run->waitForError("is held by another connection; waiting until the server ends it",
                                  Patience))
        << run->err();
    EXPECT_NO_THROW(earlier->value("SELECT 1"));  // not killed
    earlier.reset();
    const std::string settled =
        "motelog: motelog's XA version left a batch of 1 packet prepared "
        "('motelog-0000000000005eed-7'): committed it\n";
    EXPECT_TRUE(run->waitForError(settled, Patience)) << run->err();
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->out(), storedpart(mote));
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);

    auto again = start(spool);
    pty_.send(rawpacket(mote + 1));
    EXPECT_TRUE(again->waitForOutput(storedpart(mote + 1), Patience));
    EXPECT_EQ(again->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(again->err(), "");
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
}

TEST_F(SpoolTest, NewPacketsAreStoredAfterTheJournalLostRecordsItHadStored) {
    constexpr int first = 62030;
    db().deletemotes(first, first + 7);
    const std::string spool = freshdirectory("spool-lost-tail");
    {
        auto run = start(spool);
        ASSERT_TRUE(sendstored(*run, first, 5));
        EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    }
    // A power cut can take the journal's last records, already stored, off the disk.
    for (const auto& entry : std::filesystem::directory_iterator(spool))
        if (entry.path().extension() == ".journal")
            std::filesystem::resize_file(entry.path(), 2 * RecordSize);

    auto run = start(spool);
    sendpaced(pty_, *run, packetsfrom(first + 5, 3), 2ms);
    EXPECT_TRUE(readuntil(
        *run, [&] { return db().rowsbetween(first + 5, first + 7) == 3; }, 5s))
        << run->err();
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(db().rowsbetween(first, first + 7), 8u);
}

TEST_F(SpoolTest, KilledAtAnyPointOfABatchsCommitMotelogStoresEachPacketOnce) {
    const std::vector<std::string> points = {"before-update", "after-update",    "after-insert",
                                             "after-commit",  "before-progress", "after-progress"};
    constexpr int first = 62200, perpoint = 8;
    db().deletemotes(first, first + 10 * static_cast<int>(points.size()));
    for (std::size_t k = 0; k < points.size(); ++k) {
        const int motes = first + 10 * static_cast<int>(k);
        const std::string spool = freshdirectory("spool-kill-" + points[k]);
        {
            auto killed = start(
                spool, {"MOTELOG_TEST_KILL_AT=" + points[k], "MOTELOG_TEST_REPLAY_WINDOW_MS=0"});
            sendpaced(pty_, *killed, packetsfrom(motes, perpoint), 2ms);
            EXPECT_EQ(killed->waitForExit(Patience), 128 + SIGKILL) << points[k];
        }
        // One packet more, which shows the restarted motelog at work.
        auto again = start(spool);
        pty_.send(rawpacket(static_cast<std::uint16_t>(motes + perpoint)));
        EXPECT_TRUE(readuntil(
            *again, [&] { return db().rowsbetween(motes, motes + perpoint) > perpoint; }, Patience))
            << points[k] << again->err();
        EXPECT_EQ(again->stop(SIGTERM, Patience), 0);
        for (int mote = motes; mote <= motes + perpoint; ++mote)
            EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << points[k] << " mote " << mote;
    }
}

TEST_F(SpoolTest, ADeletedProgressFileStoresNothingTwice) {
    constexpr int first = 62300;
    db().deletemotes(first, first + 7);
    const std::string spool = freshdirectory("spool-no-progress");
    {
        auto run = start(spool);
        ASSERT_TRUE(sendstored(*run, first, 5));
        EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    }
    std::filesystem::remove(spool + "/progress");

    auto run = start(spool);
    EXPECT_TRUE(sendstored(*run, first + 5, 3));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    for (int mote = first; mote < first + 8; ++mote)
        EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << mote;
    EXPECT_EQ(run->err(),
              "motelog: spool progress " + spool +
                  "/progress is missing; the database's record of this station decides what "
                  "is stored\n");
}

TEST_F(SpoolTest, AStatementTheServerNeverTakesIsNoOutage) {
    constexpr int mote = 62310;
    db().deletemotes(mote, mote);
    // The server's own error for a feature it lacks, raised for this test's mote only.
    db().execute(
        "CREATE OR REPLACE TRIGGER marrowby.spool_test_refuse BEFORE INSERT ON marrowby.test_data "
        "FOR EACH ROW IF NEW.moteid = " +
        std::to_string(mote) +
        " THEN SIGNAL SQLSTATE '42000' SET MYSQL_ERRNO = 1235, MESSAGE_TEXT = "
        "'This version of MariaDB doesn''t yet support ''this test'''; END IF");
    auto run = start(freshdirectory("spool-refused"));
    pty_.send(rawpacket(mote));
    const std::string refused =
        "motelog: the database refuses the spool's batches: This version of MariaDB "
        "doesn't yet support 'this test'; motelog needs a MariaDB or MySQL server";
    EXPECT_TRUE(run->waitForError(refused, Patience)) << run->err();
    std::this_thread::sleep_for(2s);  // past the first retries of an outage
    db().execute("DROP TRIGGER marrowby.spool_test_refuse");
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->err().find("unavailable"), std::string::npos) << run->err();
    EXPECT_EQ(run->err().find("available again"), std::string::npos) << run->err();
    EXPECT_EQ(db().rowsbetween(mote, mote), 0u);
}

TEST_F(SpoolTest, ACopyOfASpoolIsANewStationThatSendsNothingItsOriginalStored) {
    constexpr int first = 62330;
    db().deletemotes(first, first + 5);
    const std::string original = freshdirectory("spool-original");
    {
        auto run = start(original);
        ASSERT_TRUE(sendstored(*run, first, 4));
        EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    }
    // Another directory, as another machine booted from a copy of the disk would be.
    const std::string copy = freshdirectory("spool-copy");
    std::filesystem::copy(original, copy, std::filesystem::copy_options::recursive);

    auto run = start(copy);
    EXPECT_TRUE(sendstored(*run, first + 4, 2));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    for (int mote = first; mote < first + 6; ++mote)
        EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << mote;
    EXPECT_NE(run->err().find("motelog: spool " + copy + " was stored as station "),
              std::string::npos)
        << run->err();
}

TEST_F(SpoolTest, ASpoolMadeAnewInTheSameDirectoryStoresItsPackets) {
    constexpr int first = 62340;
    db().deletemotes(first, first + 7);
    const std::string spool = freshdirectory("spool-anew");
    for (const int motes : {first, first + 4}) {
        std::filesystem::remove_all(spool);  // the earlier spool's row stays in the database
        auto run = start(spool);
        EXPECT_TRUE(sendstored(*run, motes, 4)) << motes;
        EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
        EXPECT_EQ(run->err(), "");
    }
    for (int mote = first; mote < first + 8; ++mote)
        EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << mote;
}

TEST_F(SpoolTest, AHostThatDoesNotAnswerGivesWayToTheNextInTheList) {
    constexpr int mote = 62320;
    db().deletemotes(mote, mote);
    // Nothing listens on port 1 of the loopback address.
    auto run = start(freshdirectory("spool-hosts"), {"MOTELOG_DB_HOST=127.0.0.1:1,localhost"});
    pty_.send(rawpacket(mote));
    EXPECT_TRUE(run->waitForOutput(storedpart(mote), Patience)) << run->err();
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->err(), "");
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
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
        auto down = start(spool, {db().absentsocket()});
        sendpaced(pty_, *down, packetsfrom(first, sent), 200us);
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
    EXPECT_TRUE(readuntil(*up, [&] { return db().rowsbetween(first, first + sent) >= kept; }, Patience));
    EXPECT_EQ(up->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(up->err(), "");  // no damaged record to report
    EXPECT_EQ(db().rowsbetween(first, first + static_cast<int>(kept) - 1), kept);
    EXPECT_EQ(db().rowsbetween(first + static_cast<int>(kept), first + sent), 0u);
}

}  // namespace
