// The motelog program end to end: a pseudo-terminal is the serial line, the private test
// server holds the table, and the program runs as a child process whose standard output
// and error are pipes.
#include <gtest/gtest.h>
#include <mysql.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "line_bytes.h"
#include "line_observer.h"
#include "motepacket.h"
#include "password.h"
#include "pty_pair.h"
#include "scratch_dir.h"
#include "test_database.h"

namespace {

using namespace std::chrono_literals;

constexpr auto Patience = 10s;                 // only ever reached when something is broken
constexpr int StatusAfterDatabaseError = 255;  // main's -1

const std::string InsertPrefix =
    "insert into test_data (logid,moteid,timestamp,data_type,data_value) values(0,";

struct TracedReading {
    std::uint16_t data_type;
    std::uint16_t raw;
    std::string value;        // as the trace prints it
    std::string counts = "";  // the light conversion's lines, for type 1
};

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// The loop's trace of one reading, from its "Data_type" line to "data_value=".
std::string readingtrace(int moteid, const TracedReading& r) {
    const std::string type = std::to_string(r.data_type);
    return r.counts + "Data_type = 0x" + hex4(r.data_type) + ", Data_value = 0x" + hex4(r.raw) +
           ", Insert datatype " + type + " -- value: " + r.value + "\n" +
           "Inserted row into test_data successfully\n\nHere is what was inserted:\nlogid\n"
           "moteid=" +
           std::to_string(moteid) + "\ntimestamp\ndata_type=" + type + "\ndata_value=" + r.value +
           "\n";
}

std::string insertheader(int moteid, int count) {
    return "perform insert: \n-----------------\nMOTEID = 0x" +
           hex4(static_cast<unsigned>(moteid)) + ", Inserting " + std::to_string(count) +
           " entries... \n";
}

// The whole trace of a data packet whose readings are all stored.
std::string storedtrace(const Bytes& line, int moteid, const std::vector<TracedReading>& readings) {
    std::string trace = readertrace(line) + insertheader(moteid, static_cast<int>(readings.size()));
    for (const TracedReading& reading : readings) trace += readingtrace(moteid, reading);
    return trace;
}

// Points `link` at `target` in one step, as udev re-points /dev/serial/by-id/ links.
void pointlink(const std::string& link, const std::string& target) {
    const std::string fresh = link + ".new";
    std::remove(fresh.c_str());
    ASSERT_EQ(symlink(target.c_str(), fresh.c_str()), 0) << fresh;
    ASSERT_EQ(std::rename(fresh.c_str(), link.c_str()), 0) << link;
}

// The processor time `pid` has used so far, user and system, in seconds.
double cpuseconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command name, which ends with the last ')': state is the 3rd
    // field, utime the 14th and stime the 15th.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 14; ++i) fields >> field;
    double utime = 0, stime = 0;
    fields >> utime >> stime;
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string outageline(const std::string& device, const std::string& failure) {
    return "motelog: COM1 (" + device + "): " + failure + "; retrying every second\n";
}

std::string backline(const std::string& device) {
    return "motelog: COM1 (" + device + ") is back; reading again\n";
}

// The three setting steps' lines after a failed open.
const std::string SettingsNotOpen =
    "Win32 Error Code: 6\nWin32 Error Code: 6\nWin32 Error Code: 6\n";

class MotelogTest : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        db().loggeneralqueries();
        since_ = db().servertime();
    }

    // Starts motelog with `args` on the pty with the test server's client settings and the
    // built-in password, changed by `environment`.
    std::unique_ptr<ChildProcess> start(const std::vector<std::string>& environment = {},
                                        const std::vector<std::string>& args = {}) {
        std::vector<std::string> settings = db().clientenvironment();
        settings.push_back("COM1=" + pty_.slavePath());
        settings.push_back("MOTELOG_DB_HOST");
        settings.push_back("MOTELOG_DB_PASSWORD");
        // Read only by a sanitizer build: a failed connection leaks inside MySQL++.
        settings.push_back(
            "LSAN_OPTIONS=print_suppressions=0:suppressions=" MOTELOG_LSAN_SUPPRESSIONS);
        settings.insert(settings.end(), environment.begin(), environment.end());
        return std::make_unique<ChildProcess>(MOTELOG_PROGRAM, args, settings);
    }

    // Waits until `run` says the port at `device` is back, sends a data packet for `mote`
    // on `line`, and checks that it is stored and traced; then stops `run` and checks that
    // it wrote nothing else but `out` before and `err` before the line that it is back.
    void resumesandstops(ChildProcess& run, const PtyPair& line, const std::string& device, int mote,
                         const std::string& out, const std::string& err) {
        ASSERT_TRUE(run.waitForError(backline(device), Patience)) << run.err();
        const Bytes data = datapacket(0x01, 6, mote, {{2, 3000}});
        line.send(data);
        const std::string stored = storedtrace(data, mote, {{2, 3000, "14.72"}});
        EXPECT_TRUE(run.waitForOutput(stored, Patience));
        EXPECT_EQ(run.stop(SIGTERM, Patience), 0);
        EXPECT_EQ(run.out(), out + stored);
        EXPECT_EQ(run.err(), err + backline(device));
        EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
    }

    // Over TCP only: the socket made unusable.
    std::vector<std::string> overtcp() {
        return {"MOTELOG_DB_HOST=127.0.0.1", db().absentsocket()};
    }

    std::vector<LoggedCommand> loggercommands(int quits = 0) {
        return db().loggercommandsafterquits(since_, quits);
    }

    PtyPair pty_;
    std::string since_;
};

TEST_F(MotelogTest, StoresADataPacketAndTracesEveryStep) {
    constexpr int mote = 60000;
    db().deletemotes(mote, mote);
    const std::string before = db().scalar("SELECT NOW()");
    auto run = start();
    const Bytes line = datapacket(0x01, 14, mote, {{1, 0x7F7F}, {2, 6000}, {3, 1000}});
    pty_.send(line);

    // The reader's part is checked byte for byte in the reader's own tests.
    const std::string expected =
        readertrace(line) +
        "perform insert: \n"
        "-----------------\n"
        "MOTEID = 0xea60, Inserting 3 entries... \n"
        "\n"
        "ch0_counts = 4015, \n"
        "ch1_counts = 4015\n"
        "Data_type = 0x0001, Data_value = 0x7f7f, Insert datatype 1 -- value: 80.7424\n"
        "Inserted row into test_data successfully\n"
        "\n"
        "Here is what was inserted:\n"
        "logid\n"
        "moteid=60000\n"
        "timestamp\n"
        "data_type=1\n"
        "data_value=80.7424\n"
        "Data_type = 0x0002, Data_value = 0x1770, Insert datatype 2 -- value: 68.72\n"
        "Inserted row into test_data successfully\n"
        "\n"
        "Here is what was inserted:\n"
        "logid\n"
        "moteid=60000\n"
        "timestamp\n"
        "data_type=2\n"
        "data_value=68.72\n"
        "Data_type = 0x0003, Data_value = 0x03e8, Insert datatype 3 -- value: 33.7\n"
        "Inserted row into test_data successfully\n"
        "\n"
        "Here is what was inserted:\n"
        "logid\n"
        "moteid=60000\n"
        "timestamp\n"
        "data_type=3\n"
        "data_value=33.7\n";
    // Seen through the pipe before the program is stopped: the packet's trace is flushed.
    EXPECT_TRUE(run->waitForOutput(expected, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->out(), expected);
    EXPECT_EQ(run->err(), "");

    const std::string after = db().scalar("SELECT NOW()");
    const std::vector<StoredRow> rows = db().rowsofmote(mote);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].data_type, 1);
    EXPECT_EQ(rows[0].data_value, 80.7424);
    EXPECT_EQ(rows[1].data_type, 2);
    EXPECT_EQ(rows[1].data_value, 68.72);
    EXPECT_EQ(rows[2].data_type, 3);
    EXPECT_EQ(rows[2].data_value, 33.7);
    EXPECT_LT(rows[0].logid, rows[1].logid);
    EXPECT_LT(rows[1].logid, rows[2].logid);
    for (const StoredRow& row : rows) {
        EXPECT_GE(row.timestamp, before);
        EXPECT_LE(row.timestamp, after);
    }

    const std::vector<LoggedCommand> commands = loggercommands(1);
    EXPECT_EQ(insertsof(commands),
              (std::vector<std::string>{InsertPrefix + "60000,now(),1,80.7424)",
                                        InsertPrefix + "60000,now(),2,68.72)",
                                        InsertPrefix + "60000,now(),3,33.7)"}));
    EXPECT_EQ(connectioncommands(commands, true),
              (std::vector<std::vector<std::string>>{
                  {"Connect", "Init DB", "Query", "Query", "Query", "Quit"}}));
}

TEST_F(MotelogTest, SkipsGarbageAndMisorderedStartBytesAndKeepsPacketsAfterStrayZeros) {
    constexpr int firstmote = 60021;
    db().deletemotes(firstmote, firstmote + 2);
    auto run = start();
    const Bytes a = datapacket(0x01, 6, firstmote, {{4, 0x1234}});
    const Bytes b = datapacket(0x01, 6, firstmote + 1, {{2, 3000}});
    const Bytes c = datapacket(0x01, 6, firstmote + 2, {{4, 7}});
    pty_.send(Bytes{0x55, 0xAA});        // two calls
    pty_.send(Bytes{0x7E, 0x00, 0x01});  // 0x7E, then 0x00 0x01
    pty_.send(a);
    pty_.send(Bytes{0x00});  // one call: 0x00 0x00, the second kept as a start byte
    pty_.send(b);
    pty_.send(Bytes{0x00, 0x00, 0x00});  // one call for each
    pty_.send(c);

    const std::string expected = notrecognized(2 + 2) + storedtrace(a, firstmote, {{4, 0x1234, "4660"}}) +
                                 notrecognized(1) + storedtrace(b, firstmote + 1, {{2, 3000, "14.72"}}) +
                                 notrecognized(3) + storedtrace(c, firstmote + 2, {{4, 7, "7"}});
    EXPECT_TRUE(run->waitForOutput(expected, Patience));
    EXPECT_EQ(run->stop(SIGINT, Patience), 0);
    EXPECT_EQ(run->out(), expected);
    EXPECT_EQ(run->err(), "");
    for (int mote = firstmote; mote <= firstmote + 2; ++mote)
        EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << "mote " << mote;
    // A reader out of step would have stored readings made of the packets' own bytes.
    EXPECT_EQ(insertsof(loggercommands(3)),
              (std::vector<std::string>{InsertPrefix + "60021,now(),4,4660)",
                                        InsertPrefix + "60022,now(),2,14.72)",
                                        InsertPrefix + "60023,now(),4,7)"}));
}

TEST_F(MotelogTest, ClassifiesPacketsByLengthAndType) {
    constexpr int firstmote = 60030;
    db().deletemotes(firstmote, firstmote + 9);
    const std::vector<RawReading> six = {{4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5}, {4, 6}};
    const Bytes sizeless = datapacket(0x01, 0, firstmote, {{4, 7}});
    const Bytes sizelessquery = datapacket(0x70, 0, firstmote + 1, {{4, 7}});
    const Bytes query = datapacket(0x70, 6, firstmote + 2, {{4, 7}});
    const Bytes noreadings = datapacket(0x01, 1, firstmote + 3, {{4, 7}});
    Bytes full = datapacket(0x05, 29, firstmote + 4, six, {0x00, 0x00});
    full[5 + 26] = full[5 + 27] = full[5 + 28] = 0xEE;  // room for no reading: ignored
    const Bytes len33 = datapacket(0x01, 33, firstmote + 5, six, {0x00, 0x04});
    const Bytes len255 = datapacket(0x01, 255, firstmote + 6, six, {0x00, 0x04});
    auto run = start();
    for (const Bytes* line : std::initializer_list<const Bytes*>{
             &sizeless, &sizelessquery, &query, &noreadings, &full, &len33, &len255})
        pty_.send(*line);

    std::vector<TracedReading> sixtraced;
    for (const RawReading& r : six)
        sixtraced.push_back({r.first, r.second, std::to_string(r.second)});
    const std::string expected =
        readertrace(sizeless) + "Packet size incorrect.\n" + readertrace(sizelessquery) +
        "Packet size incorrect.\n" + readertrace(query) + "Query packet received and ignored.\n" +
        storedtrace(noreadings, firstmote + 3, {}) + storedtrace(full, firstmote + 4, sixtraced) +
        storedtrace(len33, firstmote + 5, sixtraced) +
        storedtrace(len255, firstmote + 6, sixtraced);
    EXPECT_TRUE(run->waitForOutput(expected, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->out(), expected);
    EXPECT_EQ(run->err(), "");

    for (int mote = firstmote; mote <= firstmote + 3; ++mote)
        EXPECT_EQ(db().rowsofmote(mote).size(), 0u) << "mote " << mote;
    for (int mote = firstmote + 4; mote <= firstmote + 6; ++mote) {
        const std::vector<StoredRow> rows = db().rowsofmote(mote);
        ASSERT_EQ(rows.size(), 6u) << "mote " << mote;
        for (int i = 0; i < 6; ++i) EXPECT_EQ(rows[i].data_value, i + 1) << "mote " << mote;
    }
    // One connection per packet on the insert path, also without readings; none for the
    // others.
    const std::vector<std::string> opened = {"Connect", "Init DB", "Quit"};
    EXPECT_EQ(connectioncommands(loggercommands(4), false),
              (std::vector<std::vector<std::string>>(4, opened)));
}

TEST_F(MotelogTest, StoresOtherTypesRawAndReadsWordsUnsigned) {
    constexpr int mote = 0x8001;
    db().deletemotes(mote, mote);
    const Bytes line =
        datapacket(0x01, 18, mote, {{0, 0x0102}, {4, 0x0102}, {0xFFFF, 0x0102}, {2, 0xFFFF}});
    auto run = start();
    pty_.send(line);

    const std::string expected = storedtrace(
        line, mote,
        {{0, 0x0102, "258"}, {4, 0x0102, "258"}, {0xFFFF, 0x0102, "258"}, {2, 0xFFFF, "1140.35"}});
    EXPECT_TRUE(run->waitForOutput(expected, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->out(), expected);
    EXPECT_NE(expected.find("MOTEID = 0x8001, "), std::string::npos);
    EXPECT_NE(expected.find("moteid=32769\n"), std::string::npos);

    const std::vector<StoredRow> rows = db().rowsofmote(mote);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].data_type, 0);
    EXPECT_EQ(rows[1].data_type, 4);
    EXPECT_EQ(rows[2].data_type, 65535);
    EXPECT_EQ(rows[3].data_type, 2);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rows[i].data_value, 258.0);
    EXPECT_EQ(rows[3].data_value, 1140.35);
}

TEST_F(MotelogTest, WaitsQuietlyForAMissingOrUnpluggedDeviceAndResumesBehindTheSameLink) {
    constexpr int cutmote = 60060;
    constexpr int mote = 60061;
    db().deletemotes(cutmote, mote);
    const std::string link = testing::TempDir() + "motelog-device-" + std::to_string(getpid());
    pointlink(link, testing::TempDir() + "motelog-no-such-device");
    auto run = start({"COM1=" + link});
    const std::string missing =
        "Win32 Error Code: 2\n" + SettingsNotOpen + outageline(link, "not found (Win32 error 2)");
    ASSERT_TRUE(run->waitForError(missing, Patience)) << run->err();

    // The device appears with the start of a packet queued, and goes in the middle of its
    // header: a pty drops what its slave has not read when the master goes, so it goes
    // once motelog has taken the bytes.
    const LineObserver observer(pty_.slavePath());
    const Bytes cut = datapacket(0x01, 6, cutmote, {{2, 3000}});
    pty_.send(Bytes(cut.begin(), cut.begin() + 3));
    ASSERT_TRUE(observer.waitqueued(3, Patience));
    pointlink(link, pty_.slavePath());
    ASSERT_TRUE(run->waitForError(backline(link), Patience));
    ASSERT_TRUE(observer.waitqueued(0, Patience));
    pty_.closeMaster();
    const std::string outage = outageline(link, "device disconnected (Win32 error 1167)");
    ASSERT_TRUE(run->waitForError(outage, Patience)) << run->err();

    const double cpubefore = cpuseconds(run->pid());
    EXPECT_FALSE(run->waitForOutput("Packet", 3s));
    EXPECT_LT(cpuseconds(run->pid()) - cpubefore, 0.1);
    const std::string cuttrace = "Reading header (4 bytes)...\ncut off.\n";
    EXPECT_EQ(run->out(), cuttrace);

    PtyPair replugged;
    const auto pluggedin = std::chrono::steady_clock::now();
    pointlink(link, replugged.slavePath());
    resumesandstops(*run, replugged, link, mote, cuttrace, missing + backline(link) + outage);
    EXPECT_LT(std::chrono::steady_clock::now() - pluggedin, 2s);  // the stop included
    EXPECT_EQ(db().rowsofmote(cutmote).size(), 0u);
    std::remove(link.c_str());
}

TEST_F(MotelogTest, ASecondInstanceWaitsQuietlyAndTakesOverWhenTheFirstEnds) {
    constexpr int firstmote = 60063;
    constexpr int secondmote = 60064;
    db().deletemotes(firstmote, secondmote);
    const LineObserver observer(pty_.slavePath());
    auto first = start();
    ASSERT_TRUE(observer.waitconfigured(Patience));
    auto second = start();
    const std::string waiting =
        "Win32 Error Code: 5\n" + SettingsNotOpen +
        outageline(pty_.slavePath(), "in use by another process, or access denied (Win32 error 5)");
    ASSERT_TRUE(second->waitForError(waiting, Patience)) << second->err();

    const Bytes forfirst = datapacket(0x01, 6, firstmote, {{4, 1}});
    pty_.send(forfirst);
    EXPECT_TRUE(first->waitForOutput(storedtrace(forfirst, firstmote, {{4, 1, "1"}}), Patience));
    EXPECT_EQ(first->stop(SIGTERM, Patience), 0);
    resumesandstops(*second, pty_, pty_.slavePath(), secondmote, "", waiting);
    EXPECT_EQ(db().rowsofmote(firstmote).size(), 1u);
}

TEST_F(MotelogTest, StoresEveryPacketWhenNobodyReadsStandardOutput) {
    constexpr int firstmote = 60065;
    db().deletemotes(firstmote, firstmote + 2);
    const LineObserver observer(pty_.slavePath());
    auto run = start();
    ASSERT_TRUE(observer.waitconfigured(Patience));
    run->closeOutput();
    // The query packet's trace meets the closed pipe before any database connection.
    pty_.send(datapacket(0x70, 6, firstmote, {{4, 1}}));
    for (int mote = firstmote; mote <= firstmote + 2; ++mote)
        pty_.send(datapacket(0x01, 6, mote, {{4, 1}}));

    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (db().rowsofmote(firstmote + 2).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    for (int mote = firstmote; mote <= firstmote + 2; ++mote)
        EXPECT_EQ(db().rowsofmote(mote).size(), 1u) << "mote " << mote;
    EXPECT_EQ(run->err(),
              "motelog: writing the trace to standard output failed (Broken pipe); readings are "
              "still stored, the trace is lost\n");
}

TEST_F(MotelogTest, ReachesTheServerOverTcpWhenAHostIsGiven) {
    constexpr int mote = 60040;
    db().deletemotes(mote, mote);
    const Bytes data = datapacket(0x01, 6, mote, {{2, 3000}});
    db().makenetworkaccount();
    // Without TLS settings, as before them: this server offers no TLS.
    auto run = start(overtcp());
    pty_.send(data);

    const std::string expected = storedtrace(data, mote, {{2, 3000, "14.72"}});
    EXPECT_TRUE(run->waitForOutput(expected, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->out(), expected);
    EXPECT_EQ(run->err(), "");
    db().execute("DROP USER " + NetworkAccount);
    ASSERT_EQ(db().rowsofmote(mote).size(), 1u);
    EXPECT_EQ(db().rowsofmote(mote)[0].data_value, 14.72);
}

TEST_F(MotelogTest, TlsRequiredIsRefusedByAServerWithoutTls) {
    constexpr int mote = 60041;
    db().deletemotes(mote, mote);
    db().makenetworkaccount();
    const std::pair<std::string, std::string> refusals[] = {
        {"on",
         "Error: the connection to 127.0.0.1 is in clear: the server offers no TLS, and "
         "MOTELOG_DB_TLS=on requires it\n"},
        {"verify",
         "Error: TLS/SSL error: SSL is required, but the server does not support it; "
         "MOTELOG_DB_TLS=verify: the server's certificate check wants TLS"}};
    for (const auto& [mode, refusal] : refusals) {
        std::vector<std::string> environment = overtcp();
        environment.push_back("MOTELOG_DB_TLS=" + mode);
        auto run = start(environment);
        pty_.send(datapacket(0x01, 6, mote, {{2, 3000}}));
        EXPECT_EQ(run->waitForExit(Patience), StatusAfterDatabaseError) << mode;
        EXPECT_EQ(run->err().rfind(refusal, 0), 0u) << run->err();
    }
    db().execute("DROP USER " + NetworkAccount);
    EXPECT_EQ(db().rowsofmote(mote).size(), 0u);
}

TEST_F(MotelogTest, TriesTheHostsOfAListInTurnForEachPacket) {
    constexpr int mote = 60045;
    db().deletemotes(mote, mote + 1);
    // Nothing listens on port 1 of the loopback address; the socket reaches the server.
    auto run = start({"MOTELOG_DB_HOST=127.0.0.1:1, localhost"});
    const Bytes first = datapacket(0x01, 6, mote, {{2, 3000}});
    const Bytes second = datapacket(0x01, 6, mote + 1, {{2, 3000}});
    pty_.send(first);
    const std::string expected = storedtrace(first, mote, {{2, 3000, "14.72"}});
    EXPECT_TRUE(run->waitForOutput(expected, Patience));
    pty_.send(second);
    EXPECT_TRUE(run->waitForOutput(expected + storedtrace(second, mote + 1, {{2, 3000, "14.72"}}),
                                   Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->err(), "");
    EXPECT_EQ(db().rowsofmote(mote).size(), 1u);
    EXPECT_EQ(db().rowsofmote(mote + 1).size(), 1u);
}

// The client library's own text for a failed connection through `socket`.
std::string connecterror(const std::string& socket) {
    MYSQL* mysql = mysql_init(nullptr);
    mysql_real_connect(mysql, "localhost", "quillon", buildpassword().data(), "marrowby", 0,
                       socket.c_str(), 0);
    const std::string text = mysql_error(mysql);
    mysql_close(mysql);
    return text;
}

TEST_F(MotelogTest, ServerDownAtTheFirstDataPacketEndsWithTheClientLibrarysText) {
    constexpr int mote = 60050;
    db().deletemotes(mote, mote);
    const std::string absent = db().socketpath() + ".absent";
    const Bytes query = datapacket(0x70, 6, mote, {{2, 1}});
    const Bytes data = datapacket(0x01, 6, mote, {{2, 1}});
    auto run = start({"MYSQL_UNIX_PORT=" + absent});
    pty_.send(query);  // needs no database
    pty_.send(data);

    EXPECT_EQ(run->waitForExit(Patience), StatusAfterDatabaseError);
    EXPECT_EQ(run->out(), readertrace(query) + "Query packet received and ignored.\n" +
                              readertrace(data) + "perform insert: \n-----------------\n");
    const std::string library = connecterror(absent);
    EXPECT_NE(library.find(absent), std::string::npos) << library;
    EXPECT_EQ(run->err(), "Error: " + library + "\n");
    EXPECT_EQ(db().rowsofmote(mote).size(), 0u);
}

TEST_F(MotelogTest, AWrongPasswordEndsTheProgramAtTheFirstDataPacket) {
    constexpr int mote = 60051;
    db().deletemotes(mote, mote);
    const Bytes data = datapacket(0x01, 6, mote, {{2, 1}});
    auto run = start({"MOTELOG_DB_PASSWORD=wrong"});
    pty_.send(data);

    EXPECT_EQ(run->waitForExit(Patience), StatusAfterDatabaseError);
    EXPECT_EQ(run->out(), readertrace(data) + "perform insert: \n-----------------\n");
    EXPECT_EQ(run->err(),
              "Error: Access denied for user 'quillon'@'localhost' (using password: YES)\n");
    EXPECT_EQ(db().rowsofmote(mote).size(), 0u);
}

TEST_F(MotelogTest, AStatementRejectedAtTheSecondReadingKeepsTheFirstRowAndEnds) {
    constexpr int mote = 60052;
    db().deletemotes(mote, mote);
    db().execute(
        "CREATE OR REPLACE TRIGGER marrowby.motelog_test_reject BEFORE INSERT ON "
        "marrowby.test_data FOR EACH ROW IF NEW.moteid = 60052 AND NEW.data_type = 5 "
        "THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'rejected by the test "
        "trigger'; END IF");
    const Bytes data = datapacket(0x01, 14, mote, {{4, 0x0102}, {5, 1}, {6, 2}});
    const ScratchDir scratch;
    const std::string diagnostics = scratch.file("diagnostics.txt");
    auto run = start({"MOTELOG_DIAGNOSTICS=" + diagnostics});
    pty_.send(data);

    EXPECT_EQ(run->waitForExit(Patience), StatusAfterDatabaseError);
    // The port is still open when the process exits; its destructor says so on the
    // diagnostic channel, never on the console.
    std::ifstream report(diagnostics);
    const std::string reported((std::istreambuf_iterator<char>(report)),
                               std::istreambuf_iterator<char>());
    EXPECT_NE(reported.find(" : CSerial::~CSerial - Serial port not closed\n"), std::string::npos)
        << reported;
    EXPECT_EQ(run->out(), readertrace(data) + insertheader(mote, 3) +
                              readingtrace(mote, {4, 0x0102, "258"}) +
                              "Data_type = 0x0005, Data_value = 0x0001, Insert datatype 5 -- "
                              "value: 1\n");
    EXPECT_EQ(run->err(), "Error: rejected by the test trigger\n");

    const std::vector<StoredRow> rows = db().rowsofmote(mote);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].data_type, 4);
    const std::vector<LoggedCommand> commands = loggercommands(1);
    EXPECT_EQ(insertsof(commands), (std::vector<std::string>{InsertPrefix + "60052,now(),4,258)",
                                                             InsertPrefix + "60052,now(),5,1)"}));
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().command_type, "Quit");
}

TEST_F(MotelogTest, AStopDuringAPacketsDatabaseWorkFinishesThePacketFirst) {
    constexpr int mote = 60053;
    db().deletemotes(mote, mote);
    db().execute(
        "CREATE OR REPLACE TRIGGER marrowby.motelog_test_slow BEFORE INSERT ON "
        "marrowby.test_data FOR EACH ROW IF NEW.moteid = 60053 THEN DO SLEEP(0.3); "
        "END IF");
    const Bytes data = datapacket(0x01, 14, mote, {{4, 1}, {4, 2}, {4, 3}});
    auto run = start();
    pty_.send(data);

    // Stop as soon as the server has the first insert, well before the third.
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (insertsof(loggercommands()).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(insertsof(loggercommands()).empty());
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);

    EXPECT_EQ(run->out(), storedtrace(data, mote, {{4, 1, "1"}, {4, 2, "2"}, {4, 3, "3"}}));
    EXPECT_EQ(run->err(), "");
    EXPECT_EQ(db().rowsofmote(mote).size(), 3u);
}

TEST(MotelogWithoutPort, WaitsQuietlyAndEndsAtOnceOnAStop) {
    const std::string device = "/nonexistent/motelog-test-port";
    ChildProcess run(MOTELOG_PROGRAM, {}, {"COM1=" + device});
    const std::string waiting =
        "Win32 Error Code: 2\n" + SettingsNotOpen + outageline(device, "not found (Win32 error 2)");
    ASSERT_TRUE(run.waitForError(waiting, Patience)) << run.err();
    std::this_thread::sleep_for(300ms);  // into the pause between two tries
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_EQ(run.stop(SIGTERM, Patience), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
    EXPECT_EQ(run.err(), waiting);
    EXPECT_EQ(run.out(), "");
}

TEST_F(MotelogTest, CheckPassesWhenThePortAndTheDatabaseAreReady) {
    auto run = start({}, {"--check"});
    EXPECT_EQ(run->waitForExit(Patience), 0) << run->err();
    EXPECT_EQ(run->out(), "Serial port COM1 = " + pty_.slavePath() +
                              ":\n"
                              "  open: ok\n"
                              "  57600 baud, 8 data bits, no parity, 1 stop bit: ok\n"
                              "  hardware handshaking: ok\n"
                              "  blocking reads: ok\n"
                              "Database marrowby on localhost as user quillon:\n"
                              "  connect: ok\n"
                              "  encryption: none, none needed through the local socket\n"
                              "  store a reading (rolled back): ok\n"
                              "All is well: motelog can start.\n");
    EXPECT_EQ(run->err(), "");
}

TEST_F(MotelogTest, CheckNamesAWrongPassword) {
    auto run = start({"MOTELOG_DB_PASSWORD=not-the-password"}, {"--check"});
    EXPECT_EQ(run->waitForExit(Patience), 1);
    EXPECT_NE(run->out().find("  blocking reads: ok\n"), std::string::npos) << run->out();
    EXPECT_EQ(run->err().rfind("  connect: FAILED, Access denied for user 'quillon'@'localhost'", 0),
              0u)
        << run->err();
    EXPECT_NE(run->err().find("motelog --check: the database failed; see above.\n"),
              std::string::npos)
        << run->err();
}

TEST_F(MotelogTest, CheckNamesTheAccountMissingForTheConnectingHost) {
    // Over TCP the server sees 127.0.0.1, for which the schema makes no account.
    db().execute("DROP USER IF EXISTS " + NetworkAccount);
    auto run = start({"MOTELOG_DB_HOST=127.0.0.1"}, {"--check"});
    EXPECT_EQ(run->waitForExit(Patience), 1);
    const std::string& account = NetworkAccount;
    EXPECT_NE(run->err().find("The server sees this logger as " + account), std::string::npos)
        << run->err();
    EXPECT_NE(run->err().find("CREATE USER " + account + " IDENTIFIED BY 'your-password';\n"
                              "      GRANT INSERT ON marrowby.test_data TO " + account + ";"),
              std::string::npos)
        << run->err();
    EXPECT_EQ(run->err().find("the built-in one"), std::string::npos) << run->err();
}

TEST_F(MotelogTest, CheckSaysAMissingSpoolDirectoryWillBeCreated) {
    const ScratchDir scratch;
    const std::string spool = scratch.file("spool");
    auto run = start({"MOTELOG_SPOOL=" + spool}, {"--check"});
    EXPECT_EQ(run->waitForExit(Patience), 0) << run->err();
    EXPECT_NE(run->out().find("Spool " + spool + ":\n  directory: ok, does not exist yet and "
                              "will be created\n"),
              std::string::npos)
        << run->out();
    EXPECT_NE(access(spool.c_str(), F_OK), 0) << "--check leaves no directory behind";
}

// Runs `undo` when it goes, also after a failed assertion.
struct Undo {
    std::function<void()> undo;
    ~Undo() { undo(); }
};

TEST_F(MotelogTest, CheckWithASpoolNamesAMissingPrivilegeAndAMissingCompanionTable) {
    const std::vector<std::string> spooled = {"MOTELOG_SPOOL=" + testing::TempDir() +
                                              "check-spool"};
    const std::string step = "  keep the spool's position (rolled back): FAILED, ";
    {
        db().execute("REVOKE UPDATE ON marrowby.motelog_station FROM 'quillon'@'localhost'");
        const Undo grant{[&] {
            db().execute("GRANT UPDATE ON marrowby.motelog_station TO 'quillon'@'localhost'");
        }};
        auto run = start(spooled, {"--check"});
        EXPECT_EQ(run->waitForExit(Patience), 1);
        EXPECT_NE(run->out().find("  store a reading (rolled back): ok\n"), std::string::npos)
            << run->out();
        EXPECT_NE(
            run->err().find(step + "UPDATE command denied to user 'quillon'@'localhost' for table "
                                   "`marrowby`.`motelog_station`; the logger's account needs"),
            std::string::npos)
            << run->err();
    }
    db().execute("RENAME TABLE marrowby.motelog_station TO marrowby.motelog_station_away");
    const Undo rename{[&] {
        db().execute("RENAME TABLE marrowby.motelog_station_away TO marrowby.motelog_station");
    }};
    auto run = start(spooled, {"--check"});
    EXPECT_EQ(run->waitForExit(Patience), 1);
    EXPECT_NE(run->err().find(step + "Table 'marrowby.motelog_station' doesn't exist; load "
                                     "sql/schema.sql into the server\n"),
              std::string::npos)
        << run->err();
    EXPECT_NE(run->err().find("motelog --check: the database failed; see above.\n"),
              std::string::npos);
}

TEST_F(MotelogTest, CheckNamesAMissingPort) {
    auto run = start({"COM1=/nonexistent/motelog-test-port"}, {"--check"});
    EXPECT_EQ(run->waitForExit(Patience), 1);
    EXPECT_EQ(run->err(),
              "  open: FAILED, /nonexistent/motelog-test-port not found (Win32 Error Code: 2)\n"
              "motelog --check: the serial port failed; see above.\n");
    EXPECT_NE(run->out().find("  connect: ok\n"), std::string::npos) << run->out();
}

TEST_F(MotelogTest, CheckNamesASpoolThatMotelogCouldNotUse) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> spools = {
        {{"MOTELOG_SPOOL=/tmp/motelog-test-spool", "MOTELOG_SPOOL_MAX=lots"},
         "MOTELOG_SPOOL_MAX=lots is not a size"},
        {{"MOTELOG_SPOOL=/tmp/motelog-test-spool", "MOTELOG_SPOOL_MAX=1000"},
         "MOTELOG_SPOOL_MAX=1000 is too small: the spool needs at least 1K"},
        {{"MOTELOG_SPOOL=/proc/motelog-test-spool"}, "/proc/motelog-test-spool"}};
    for (const auto& [environment, named] : spools) {
        auto run = start(environment, {"--check"});
        EXPECT_EQ(run->waitForExit(Patience), 1) << named;
        EXPECT_NE(run->out().find("  connect: ok\n"), std::string::npos) << run->out();
        EXPECT_NE(run->err().find(named), std::string::npos) << run->err();
        EXPECT_NE(run->err().find("motelog --check: the spool failed; see above.\n"),
                  std::string::npos)
            << run->err();
    }
}

TEST_F(MotelogTest, AWrongTlsSettingIsRefusedAtStartAndNamedByCheck) {
    const std::pair<std::string, std::string> settings[] = {
        {"MOTELOG_DB_TLS=yes",
         "MOTELOG_DB_TLS=yes is not off, on or verify (unset: TLS when the server offers it)"},
        {"MOTELOG_DB_TLS_CA=/nonexistent/ca.pem",
         "MOTELOG_DB_TLS_CA=/nonexistent/ca.pem: cannot read it: No such file or directory"}};
    for (const auto& [setting, refusal] : settings) {
        auto run = start({setting});
        EXPECT_EQ(run->waitForExit(Patience), 2);
        EXPECT_EQ(run->err(), "motelog: " + refusal + "\n");

        auto check = start({setting}, {"--check"});
        EXPECT_EQ(check->waitForExit(Patience), 1);
        EXPECT_EQ(check->err(), "  settings: FAILED, " + refusal +
                                    "\nmotelog --check: the database failed; see above.\n");
    }
}

TEST(MotelogCommandLine, HelpAndVersionInformWithoutTouchingThePort) {
    ChildProcess help(MOTELOG_PROGRAM, {"--help"}, {"COM1=/nonexistent/motelog-test-port"});
    EXPECT_EQ(help.waitForExit(Patience), 0);
    EXPECT_EQ(help.out().rfind("usage: motelog [--check | --status | --help | --version]\n", 0), 0u);
    for (const char* variable :
         {"COM1=", "MOTELOG_DB_HOST=", "MOTELOG_DB_PASSWORD=", "MOTELOG_DB_TLS=",
          "MOTELOG_DIAGNOSTICS=", "MYSQL_UNIX_PORT=", "MYSQL_TCP_PORT=", "README"})
        EXPECT_NE(help.out().find(variable), std::string::npos) << variable;
    EXPECT_EQ(help.err(), "");

    ChildProcess version(MOTELOG_PROGRAM, {"--version"});
    EXPECT_EQ(version.waitForExit(Patience), 0);
    EXPECT_TRUE(std::regex_match(version.out(), std::regex("motelog [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out();
}

TEST(MotelogCommandLine, AnythingElseIsRefusedWithTheUsageOnStandardError) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus"}, {"COM2"}, {"--check", "--help"}}) {
        ChildProcess run(MOTELOG_PROGRAM, args);
        EXPECT_EQ(run.waitForExit(Patience), 2) << args[0];
        EXPECT_EQ(run.out(), "");
        EXPECT_EQ(run.err().rfind("motelog: ", 0), 0u) << run.err();
        EXPECT_NE(run.err().find("\n\nusage: motelog "), std::string::npos) << run.err();
    }
}

}  // namespace
