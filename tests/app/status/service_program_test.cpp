// motelog as a service runs it, on a pty and the shared test server: the trace levels,
// standard output that nobody reads, readiness and the watchdog under a stand-in notify
// socket, and the status and metrics files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "line_observer.h"
#include "scratch_dir.h"
#include "spool_run.h"
#include "test_database.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto Patience = 20s;
constexpr std::size_t LinesPerPacket = 21;  // the full trace of a packet with one reading

std::string readfile(const std::string& path) {
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout = Patience) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// Every one of `parts` is in `text`.
void expectcontains(const std::string& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts)
        EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
}

// The stand-in for systemd's notify socket: a datagram socket the test binds.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) : path_(path) {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ADD_FAILURE() << "cannot bind " << path;
        const timeval wait{0, 100000};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~NotifySocket() { close(fd_); }

    // The messages that arrive within `window`.
    std::vector<std::string> within(std::chrono::milliseconds window) {
        std::vector<std::string> messages;
        const auto end = Clock::now() + window;
        while (Clock::now() < end) {
            char message[4096];
            const ssize_t n = recv(fd_, message, sizeof message, 0);
            if (n > 0) messages.emplace_back(message, static_cast<std::size_t>(n));
        }
        return messages;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_;
};

std::size_t count(const std::vector<std::string>& messages, const std::string& message) {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
}

// `motelog --status` on the file `status`: its exit status and what it printed.
std::pair<int, std::string> statusof(const std::string& status) {
    ChildProcess run(MOTELOG_PROGRAM, {"--status"}, {"MOTELOG_STATUS=" + status});
    const int exit = run.waitForExit(Patience);
    return {exit, run.out()};
}

// The logger's account locked while it lives, and its open sessions ended, as an outage of
// the database.
class LockedAccount {
public:
    explicit LockedAccount(TestDatabase& db) : db_(db) {
        db_.execute("ALTER USER 'quillon'@'localhost' ACCOUNT LOCK");
        const std::string sessions = db_.scalar(
            "SELECT COALESCE(GROUP_CONCAT(id), '') FROM information_schema.processlist "
            "WHERE user = 'quillon'");
        std::istringstream ids(sessions);
        for (std::string id; std::getline(ids, id, ',');) db_.execute("KILL " + id);
    }
    ~LockedAccount() { db_.execute("ALTER USER 'quillon'@'localhost' ACCOUNT UNLOCK"); }

private:
    TestDatabase& db_;
};

class ServiceTest : public DatabaseTest {
protected:
    std::unique_ptr<ChildProcess> start(const std::vector<std::string>& extra,
                                        const std::string& spool = "") {
        return startspooled(pty_, db().clientenvironment(), spool, extra);
    }

    PtyPair pty_;
};

TEST_F(ServiceTest, EachTraceLevelStoresTheSameRows) {
    const std::map<std::string, int> firstmotes = {
        {"full", 63000}, {"summary", 63010}, {"off", 63020}};
    std::map<std::string, std::string> outputs;
    std::set<std::vector<std::string>> rowsets;
    for (const auto& [level, first] : firstmotes) {
        db().deletemotes(first, first + 1);
        auto run = start({"MOTELOG_TRACE=" + level});
        pty_.send(Bytes{0x55});
        pty_.send(datapacket(0x70, 6, static_cast<std::uint16_t>(first), {{4, 1}}));
        pty_.send(datapacket(0x01, 6, static_cast<std::uint16_t>(first), {{2, 3000}}));
        pty_.send(
            datapacket(0x01, 10, static_cast<std::uint16_t>(first + 1), {{3, 1000}, {4, 258}}));
        EXPECT_TRUE(eventually([&] { return db().rowsbetween(first, first + 1) == 3; })) << level;
        EXPECT_EQ(run->stop(SIGTERM, Patience), 0) << level;
        EXPECT_EQ(run->err(), "") << level;
        outputs[level] = run->out();
        std::vector<std::string> stored;
        for (int mote = first; mote <= first + 1; ++mote)
            for (const StoredRow& row : db().rowsofmote(mote))
                stored.push_back(std::to_string(mote - first) + " " +
                                 std::to_string(row.data_type) + " " +
                                 std::to_string(row.data_value));
        rowsets.insert(stored);
    }
    EXPECT_EQ(rowsets.size(), 1u) << "the levels stored different rows";
    EXPECT_NE(outputs["full"].find("Query packet received and ignored.\n"), std::string::npos);
    EXPECT_NE(outputs["full"].find("data_value=258\n"), std::string::npos);
    EXPECT_TRUE(std::regex_match(
        outputs["summary"],
        std::regex(
            "motelog summary of [0-9]+ s: 2 packets and 3 readings stored; missed 1 not "
            "recognized, 0 size "
            "incorrect, 1 queries, 0 spool full; backlog 0 packets, the oldest waiting for 0.0 s; "
            "outages: 0 of the database \\(up\\), 0 of the port \\(open\\)\n")))
        << outputs["summary"];
    EXPECT_EQ(outputs["off"], "");
}

// Standard output into a FIFO that the test reads only when it says so.
class UnreadOutputTest : public ServiceTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        fifo_ = scratch_.file("trace");
        ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
        reader_ = open(fifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader_, 0);
    }
    void TearDown() override {
        if (reader_ >= 0) close(reader_);
    }

    std::unique_ptr<ChildProcess> startintofifo() {
        return startspooled(pty_, db().clientenvironment(),
                            GetParam() ? freshdirectory("spool-unread") : "",
                            {"MOTELOG_TRACE_BACKLOG=16384"}, {}, fifo_);
    }

    // Adds what the FIFO holds now to read_; how many bytes that was.
    std::size_t readnow() {
        char buffer[65536];
        std::size_t total = 0;
        ssize_t n = 0;
        while ((n = read(reader_, buffer, sizeof buffer)) > 0) {
            read_.append(buffer, static_cast<std::size_t>(n));
            total += static_cast<std::size_t>(n);
        }
        return total;
    }
    // Reads what the FIFO holds until `text` is in what was read, or the time is up.
    bool readfifountil(const std::string& text) {
        return eventually([&] {
            readnow();
            return read_.find(text) != std::string::npos;
        });
    }
    // Reads until nothing more comes for a while: the trace's backlog is written out.
    bool readallwaiting() {
        return eventually([&] {
            readnow();
            std::this_thread::sleep_for(200ms);
            return readnow() == 0;
        });
    }
    void sendmotes(int first, int last) {
        for (int mote = first; mote <= last; ++mote)
            pty_.send(rawpacket(static_cast<std::uint16_t>(mote)));
    }

    ScratchDir scratch_;
    std::string fifo_;
    int reader_ = -1;
    std::string read_;
};

TEST_P(UnreadOutputTest, StoresEveryPacketDropsWholeLinesAndStopsWithinASecond) {
    constexpr int first = 63600;
    // The last stretch alone, about 170 KB of trace, is twice what the pipe and the
    // backlog hold.
    constexpr int last = first + 399;
    db().deletemotes(first, last);
    auto run = startintofifo();
    // Far more than the pipe and the backlog take.
    sendmotes(first, first + 149);
    EXPECT_TRUE(eventually([&] { return db().rowsbetween(first, first + 149) == 150; }));
    const std::string dropping =
        "motelog: standard output does not take the trace; dropping whole trace lines "
        "while its backlog of 16384 bytes is full\n";
    ASSERT_TRUE(run->waitForError(dropping, Patience)) << run->err();

    // Read again: what the backlog kept comes out, then the next packet's trace flows,
    // after a line that counts what was dropped. (A part larger than the backlog may drop
    // lines while it is read too; each stretch of dropping ends with its count once the
    // trace flows again.)
    ASSERT_TRUE(readallwaiting());
    sendmotes(first + 150, first + 150);
    const std::string lastline =
        "moteid=" + std::to_string(first + 150) + "\ntimestamp\ndata_type=4\ndata_value=7\n";
    ASSERT_TRUE(readfifountil(lastline));
    const std::regex resumed(
        "motelog: standard output takes the trace again; ([0-9]+) trace lines were dropped\n");
    auto stretches = [&](const std::regex& line) {
        const std::string& err = run->err();
        return std::distance(std::sregex_iterator(err.begin(), err.end(), line),
                             std::sregex_iterator());
    };
    ASSERT_TRUE(eventually([&] {
        run->waitForError(dropping + dropping, 50ms);  // reads what came
        return stretches(resumed) == stretches(std::regex(dropping));
    }));
    const std::string err = run->err();
    std::size_t dropped = 0;
    for (auto match = std::sregex_iterator(err.begin(), err.end(), resumed);
         match != std::sregex_iterator(); ++match)
        dropped += std::stoul((*match)[1]);
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(static_cast<std::size_t>(std::count(read_.begin(), read_.end(), '\n')) + dropped,
              151 * LinesPerPacket);
    EXPECT_EQ(read_.substr(read_.size() - lastline.size()), lastline);

    // Unread once more until it drops again; the stop does not wait for the reader.
    sendmotes(first + 151, last);
    EXPECT_TRUE(eventually([&] { return db().rowsbetween(first, last) == 400; }));
    EXPECT_TRUE(run->waitForError(err + dropping, Patience)) << run->err();
    const auto stopped = Clock::now();
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_LT(Clock::now() - stopped, 1s);
    EXPECT_EQ(db().motesbetween(first, last), 400u);
    EXPECT_EQ(db().rowsbetween(first, last), 400u);
}

INSTANTIATE_TEST_SUITE_P(Modes, UnreadOutputTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& mode) {
                             return mode.param ? "Spool" : "Direct";
                         });

TEST_F(ServiceTest, ReadyAfterStartUpAndTheWatchdogOnlyWhileTheLoopComesBack) {
    constexpr int mote = 63400;
    constexpr int wedging = 63401;
    db().deletemotes(mote, wedging);
    const ScratchDir scratch;
    NotifySocket notify(scratch.file("notify"));
    const LineObserver observer(pty_.slavePath());
    auto run = start({"NOTIFY_SOCKET=" + notify.path(), "WATCHDOG_USEC=1000000",
                      "MOTELOG_TEST_WEDGE_MOTE=" + std::to_string(wedging)});
    std::vector<std::string> messages;
    ASSERT_TRUE(eventually([&] {
        const std::vector<std::string> more = notify.within(100ms);
        messages.insert(messages.end(), more.begin(), more.end());
        return count(messages, "READY=1") > 0;
    }));
    EXPECT_TRUE(observer.waitconfigured(0ms)) << "READY=1 before the port was set up";

    // A quiet line and a stored packet: the loop comes back, the watchdog is kept.
    EXPECT_GE(count(notify.within(1500ms), "WATCHDOG=1"), 2u);
    pty_.send(rawpacket(mote));
    EXPECT_TRUE(eventually([&] { return db().rowsbetween(mote, mote) == 1; }));
    EXPECT_GE(count(notify.within(1500ms), "WATCHDOG=1"), 2u);

    pty_.send(rawpacket(wedging));
    ASSERT_TRUE(run->waitForError("the watchdog is no longer told that motelog works\n", Patience))
        << run->err();
    EXPECT_TRUE(std::regex_search(
        run->err(), std::regex("^motelog: the reader loop, busy with one step for [0-9]+ s; ")))
        << run->err();
    notify.within(300ms);  // a ping sent just before the line
    EXPECT_EQ(count(notify.within(2500ms), "WATCHDOG=1"), 0u);
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
}

TEST_F(ServiceTest, StatusAndMetricsDuringARunAnOutageAndAfterTheStop) {
    constexpr int first = 63500;
    constexpr int waiting = 63510;
    db().deletemotes(first, waiting + 2);
    const ScratchDir scratch;
    const std::string status = scratch.file("status");
    const std::string metrics = scratch.file("motelog.prom");
    auto run = start({"MOTELOG_STATUS=" + status, "MOTELOG_METRICS=" + metrics},
                     freshdirectory("spool-status"));
    const std::string pid = std::to_string(run->pid());
    pty_.send(rawpacket(first));
    pty_.send(datapacket(0x01, 10, first + 1, {{2, 3000}, {4, 258}}));
    EXPECT_TRUE(readuntil(
        *run,
        [&] { return statusof(status).second.find("readings stored: 3\n") != std::string::npos; },
        Patience));
    auto [running, shown] = statusof(status);
    EXPECT_EQ(running, 0) << shown;
    EXPECT_EQ(shown.rfind("motelog is running (pid " + pid + ")", 0), 0u) << shown;
    expectcontains(shown,
                   {"  mode: spool\n", "  packets stored: 2\n", "  backlog: 0 packets",
                    "  database: up, 0 outages\n", "  last database error: none\n",
                    "  mote 63500: heard ", ", type 4 7\n", ", temperature 14.72 F, type 4 258\n"});
    std::string prom = readfile(metrics);
    expectcontains(prom, {"motelog_up 1\n", "motelog_packets_stored_total 2\n",
                          "motelog_readings_stored_total 3\n", "motelog_backlog_packets 0\n",
                          "motelog_mote_temperature_fahrenheit{mote=\"63501\"} 14.72\n",
                          "motelog_mote_reading_raw{mote=\"63501\",data_type=\"4\"} 258\n"});

    // The logger's account is locked and its connection ended: packets wait in the spool.
    {
        const LockedAccount locked(db());
        for (int mote = waiting; mote <= waiting + 2; ++mote)
            pty_.send(rawpacket(static_cast<std::uint16_t>(mote)));
        EXPECT_TRUE(readuntil(
            *run,
            [&] {
                return readfile(metrics).find("motelog_backlog_packets 3\n") != std::string::npos;
            },
            Patience));
        shown = statusof(status).second;
        expectcontains(shown, {"  backlog: 3 packets, the oldest waiting for ",
                               "  database: down, 1 outages\n",
                               "Access denied, this account is locked\n", "  packets read: 5\n"});
        prom = readfile(metrics);
        expectcontains(prom, {"motelog_database_up 0\n", "motelog_database_outages_total 1\n",
                              "motelog_packets_stored_total 2\n"});
    }
    EXPECT_TRUE(readuntil(
        *run, [&] { return db().rowsbetween(waiting, waiting + 2) == 3; }, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    const auto [stopped, last] = statusof(status);
    EXPECT_EQ(stopped, 3);
    EXPECT_EQ(last.rfind("motelog is not running (pid " + pid + " has ended)", 0), 0u) << last;
    EXPECT_NE(last.find("  packets stored: 5\n"), std::string::npos) << last;
    EXPECT_NE(readfile(metrics).find("motelog_up 0\n"), std::string::npos);
    EXPECT_EQ(db().motesbetween(first, waiting + 2), 5u);
}

TEST(ServiceStatus, WithoutAStatusFileMotelogIsNotRunning) {
    const ScratchDir scratch;
    const auto [exit, shown] = statusof(scratch.file("absent"));
    EXPECT_EQ(exit, 3);
    EXPECT_EQ(
        shown.rfind("motelog is not running: there is no status in " + scratch.file("absent"), 0),
        0u)
        << shown;
}

}  // namespace
