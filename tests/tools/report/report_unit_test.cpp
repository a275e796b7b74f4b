// The parts of motelog-report that need no server: its command line, its window and
// where it breaks a line.
#include <gtest/gtest.h>

#include "assemble.h"
#include "options.h"
#include "series.h"

namespace report {
namespace {

TEST(ReportOptions, TakesTimesSpansAndTheMariadbClientsSpellings) {
    const ReportOptions options =
        parsereportoptions({"--since", "2026-12-07 10:30", "--until=2h", "--mote", "3", "--mote=12",
                            "-o", "r.html", "-hbase", "-u", "reader", "-pSecret", "-P", "3307",
                            "--socket=/tmp/s", "--defaults-file=/etc/r.cnf"});
    ASSERT_TRUE(options.since && options.until);
    EXPECT_FALSE(options.since->isspan);
    EXPECT_EQ(formatwall(options.since->seconds), "2026-12-07 10:30:00");
    EXPECT_TRUE(options.until->isspan);
    EXPECT_EQ(options.until->seconds, 7200);
    EXPECT_EQ(options.motes, (std::vector<int>{3, 12}));
    EXPECT_EQ(options.out, "r.html");
    EXPECT_EQ(options.connection.host, "base");
    EXPECT_EQ(options.connection.user, "reader");
    EXPECT_EQ(options.connection.password, "Secret");
    EXPECT_EQ(options.connection.port, 3307u);
    EXPECT_EQ(options.connection.socket, "/tmp/s");
    EXPECT_EQ(options.connection.defaultsfile, "/etc/r.cnf");
    EXPECT_EQ(parsereportoptions({"--password=a b"}).connection.password, "a b");
    EXPECT_TRUE(parsereportoptions({"-p"}).connection.askpassword);
}

TEST(ReportOptions, RejectsWhatItCannotRead) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--since=yesterday"},
                                               {"--since=2026-02-30"},
                                               {"--until=24x"},
                                               {"--mote=-1"},
                                               {"--port=70000"},
                                               {"--since=2026-02-02", "--until=2026-02-01"},
                                               {"--mote"},
                                               {"--colour"}})
        EXPECT_THROW(parsereportoptions(args), std::invalid_argument) << args[0];
}

TEST(ReportWindow, CountsSpansBackFromTheNewestReading) {
    const WallSeconds newest = 1'000'000;
    const Window fallback = reportwindow(parsereportoptions({}), newest);
    EXPECT_EQ(fallback.until, newest);
    EXPECT_EQ(fallback.since, newest - 86400);
    const Window spans = reportwindow(parsereportoptions({"--since=1h", "--until=30m"}), newest);
    EXPECT_EQ(spans.until, newest - 1800);
    EXPECT_EQ(spans.since, newest - 1800 - 3600);
    EXPECT_THROW(reportwindow(parsereportoptions({"--since=1970-02-01"}), newest),
                 std::runtime_error);
}

// Buckets of one reading each, at these times.
Series readingsat(const std::vector<WallSeconds>& times) {
    Series series{1, 2, {}};
    for (WallSeconds time : times) {
        Bucket& bucket = series.buckets.emplace_back();
        bucket.count = 1;
        bucket.sum = 70;
        bucket.first = bucket.last = time;
    }
    return series;
}

TEST(ChartRuns, BreakOnlyWhereTheMoteWasSilentForMuchLongerThanUsual) {
    // Every 10 s, with one silence of 60 s (6 intervals) and one of 40 s (4).
    const std::vector<report::Run> runs = chartruns(readingsat({0, 10, 20, 80, 90, 100, 140, 150}));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].size(), 3u);
    EXPECT_EQ(runs[1].size(), 5u);
    // Within a second of each other: the timestamps' resolution, no break.
    EXPECT_EQ(chartruns(readingsat({0, 0, 0, 1, 1, 2})).size(), 1u);
}

}  // namespace
}  // namespace report
