// The motelog program end to end: a pseudo-terminal is the serial line, the private test
// server holds the table, and the program runs as a child process whose standard output
// and error are pipes.
#include <gtest/gtest.h>
#include <mysql.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <thread>
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

TEST_F(MotelogTest, SkipsGarbageMisorderedStartBytesAndAStrayZero) {
    constexpr int lostmote = 60021;
    constexpr int mote = 60022;
    db().deletemotes(lostmote, mote);
    auto run = start();
    const Bytes lost = datapacket(0x01, 6, lostmote, {{4, 0x1234}});
    const Bytes kept = datapacket(0x01, 6, mote, {{2, 3000}});
    pty_.send(Bytes{0x55, 0xAA});        // two calls
    pty_.send(Bytes{0x7E, 0x00, 0x01});  // 0x7E, then 0x00 0x01
    pty_.send(Bytes{0x00});              // makes the reader miss the next packet: 23 calls
    pty_.send(lost);
    pty_.send(kept);

    const std::string expected =
        notrecognized(2 + 2 + 23) + storedtrace(kept, mote, {{2, 3000, "14.72"}});
    EXPECT_TRUE(run->waitForOutput(expected, Patience));
    EXPECT_EQ(run->stop(SIGINT, Patience), 0);
    EXPECT_EQ(run->out(), expected);
    EXPECT_EQ(run->err(), "");
    EXPECT_EQ(db().rowsofmote(lostmote).size(), 0u);
    ASSERT_EQ(db().rowsofmote(mote).size(), 1u);
    EXPECT_EQ(db().rowsofmote(mote)[0].data_value, 14.72);
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

TEST_F(MotelogTest, AHangUpInTheHeaderStoresSixFilledReadingsThenReadsNothing) {
    constexpr int mote = 0xDCDC;  // the fill byte makes the mote id too
    db().deletemotes(mote, mote);
    // A pty drops what its slave has not read when the master goes: the bytes wait in the
    // slave's queue before motelog starts, and the master goes once motelog has taken them
    // and finished its start-up.
    const LineObserver observer(pty_.slavePath());
    pty_.send(Bytes{0x00, 0x7E, 0x01});
    ASSERT_TRUE(observer.waitqueued(3, Patience));
    auto run = start();
    ASSERT_TRUE(observer.waitqueued(0, Patience));
    ASSERT_TRUE(observer.waitconfigured(Patience));  // a hang-up now fails no start-up step
    pty_.closeMaster();

    Bytes filled(PacketSize, 0xDC);
    filled[0] = 0x00;
    filled[1] = 0x7E;
    filled[2] = 0x01;
    const TracedReading fill = {0xDCDC, 0xDCDC, "56540"};
    const std::string expected = storedtrace(filled, mote, std::vector<TracedReading>(6, fill));
    EXPECT_TRUE(run->waitForOutput(expected + notrecognized(3), Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    ASSERT_EQ(run->out().compare(0, expected.size(), expected), 0) << run->out();
    // After the hang-up every read fails at once: whole lines of "Packet not recognized.".
    const std::string rest = run->out().substr(expected.size());
    EXPECT_EQ(rest, notrecognized(static_cast<int>(rest.size() / 23)));
    EXPECT_EQ(run->err(), "");
    EXPECT_NE(expected.find("  len        = 220\n"), std::string::npos);
    EXPECT_NE(expected.find("Inserting 6 entries... \n"), std::string::npos);

    const std::vector<StoredRow> rows = db().rowsofmote(mote);
    ASSERT_EQ(rows.size(), 6u);
    for (const StoredRow& row : rows) {
        EXPECT_EQ(row.data_type, 0xDCDC);
        EXPECT_EQ(row.data_value, 56540.0);
    }
}

TEST_F(MotelogTest, ReachesTheServerOverTcpWhenAHostIsGiven) {
    constexpr int mote = 60040;
    db().deletemotes(mote, mote);
    const Bytes data = datapacket(0x01, 6, mote, {{2, 3000}});
    // The schema's account is for local sockets only; a logger on the network gets one of
    // its own, as an operator makes it.
    const std::string account = "'quillon'@'127.0.0.1'";
    db().execute("CREATE OR REPLACE USER " + account + " IDENTIFIED BY '" +
                 buildpassword().data() + "'");
    db().execute("GRANT INSERT ON marrowby.test_data TO " + account);
    // The socket is made unusable, so only the TCP port can reach the server.
    auto run =
        start({"MOTELOG_DB_HOST=127.0.0.1", "MYSQL_UNIX_PORT=" + db().socketpath() + ".absent"});
    pty_.send(data);

    const std::string expected = storedtrace(data, mote, {{2, 3000, "14.72"}});
    EXPECT_TRUE(run->waitForOutput(expected, Patience));
    EXPECT_EQ(run->stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run->out(), expected);
    EXPECT_EQ(run->err(), "");
    db().execute("DROP USER " + account);
    ASSERT_EQ(db().rowsofmote(mote).size(), 1u);
    EXPECT_EQ(db().rowsofmote(mote)[0].data_value, 14.72);
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

TEST(MotelogWithoutPort, ReportsFourErrorCodesThenFindsNoPackets) {
    ChildProcess run(MOTELOG_PROGRAM, {}, {"COM1=/nonexistent/motelog-test-port"});
    EXPECT_TRUE(run.waitForOccurrences("Packet not recognized.\n", 5, Patience));
    EXPECT_EQ(run.stop(SIGTERM, Patience), 0);
    EXPECT_EQ(run.err(),
              "Win32 Error Code: 2\nWin32 Error Code: 6\nWin32 Error Code: 6\n"
              "Win32 Error Code: 6\n");
    const std::string& out = run.out();
    EXPECT_GE(out.size(), 5 * 23u);
    EXPECT_EQ(out, notrecognized(static_cast<int>(out.size() / 23)));
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

TEST_F(MotelogTest, CheckNamesAMissingPort) {
    auto run = start({"COM1=/nonexistent/motelog-test-port"}, {"--check"});
    EXPECT_EQ(run->waitForExit(Patience), 1);
    EXPECT_EQ(run->err(),
              "  open: FAILED, /nonexistent/motelog-test-port not found (Win32 Error Code: 2)\n"
              "motelog --check: the serial port failed; see above.\n");
    EXPECT_NE(run->out().find("  connect: ok\n"), std::string::npos) << run->out();
}

TEST(MotelogCommandLine, HelpAndVersionInformWithoutTouchingThePort) {
    ChildProcess help(MOTELOG_PROGRAM, {"--help"}, {"COM1=/nonexistent/motelog-test-port"});
    EXPECT_EQ(help.waitForExit(Patience), 0);
    EXPECT_EQ(help.out().rfind("usage: motelog [--check | --help | --version]\n", 0), 0u);
    for (const char* variable : {"COM1=", "MOTELOG_DB_HOST=", "MOTELOG_DB_PASSWORD=",
                                 "MOTELOG_DIAGNOSTICS=", "MYSQL_UNIX_PORT=", "MYSQL_TCP_PORT=",
                                 "README"})
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
