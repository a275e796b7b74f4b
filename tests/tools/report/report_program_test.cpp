// motelog-report end to end: the private server filled with known rows, the program run
// as a child process, its page read back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "child_process.h"
#include "parallelread.h"
#include "report_run.h"
#include "scratch_dir.h"

namespace {

const std::vector<std::string> kKnownWindow = {"--since=2026-01-01 00:00",
                                               "--until=2026-01-01 02:00"};

class ReportProgramTest : public ReportTest {
protected:
    const ScratchDir scratch_;  // a test's own files, so that concurrent runs never share one
    const std::string pagepath_ = scratch_.file("report.html");
};

std::string twodecimals(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

TEST_F(ReportProgramTest, SummaryGivesEachMoteAndQuantityItsNumbersAndFoldsRawTypesIntoALine) {
    fillknownrows(db());
    const ReportRun run = runreport(kKnownWindow, pagepath_);
    ASSERT_EQ(run.status, 0) << run.err;

    std::vector<std::vector<std::string>> expected;
    const char* const names[] = {"Light (lux)", "Temperature (°F)", "Relative humidity (%RH)"};
    for (int mote = 1; mote <= 3; ++mote) {
        const std::vector<int> minutes = knownminutes(mote);
        for (int type = 1; type <= 3; ++type) {
            double sum = 0, low = 1e9, high = -1e9;
            for (int minute : minutes) {
                const double value = mote * 100 + type * 10 + minute % 7;
                sum += value;
                low = std::min(low, value);
                high = std::max(high, value);
            }
            char first[32], last[32];
            std::snprintf(first, sizeof first, "2026-01-01 %02d:%02d:00", minutes.front() / 60,
                          minutes.front() % 60);
            std::snprintf(last, sizeof last, "2026-01-01 %02d:%02d:00", minutes.back() / 60,
                          minutes.back() % 60);
            expected.push_back({std::to_string(mote), names[type - 1],
                                std::to_string(minutes.size()), first, last, twodecimals(low),
                                twodecimals(sum / minutes.size()), twodecimals(high),
                                twodecimals(mote * 100 + type * 10 + minutes.back() % 7)});
        }
    }
    EXPECT_EQ(summaryrows(run.page), expected);
    EXPECT_NE(run.page.find("<table id=\"raw\">\n<tr><th>mote</th><th>types (readings)</th></tr>\n"
                            "<tr><td>3</td><td class=\"name\">7 (2)</td></tr>\n</table>"),
              std::string::npos)
        << run.page;
}

TEST_F(ReportProgramTest, MoteSilentForMoreThanFiveIntervalsIsMarkedWithTheTimeLastHeard) {
    // Mote 3 stops after its tenth minute while motes 1 and 2 go on to 01:59; mote 2's
    // half-hour silence lies in the past.
    fillknownrows(db());
    const ReportRun run = runreport(kKnownWindow, pagepath_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.page.find("<p class=\"silent\" id=\"silent-3\">Mote 3 is silent: last heard "
                            "2026-01-01 00:09:00, more than five times its usual interval (60 s) "
                            "ago.</p>"),
              std::string::npos)
        << run.page;
    EXPECT_EQ(run.page.find("id=\"silent-1\""), std::string::npos);
    EXPECT_EQ(run.page.find("id=\"silent-2\""), std::string::npos);
}

TEST_F(ReportProgramTest, ChartsDrawOneLinePerMoteWithAPointPerReadingAndABreakAtTheGap) {
    fillknownrows(db());
    const ReportRun run = runreport(kKnownWindow, pagepath_);
    ASSERT_EQ(run.status, 0) << run.err;
    for (int type = 1; type <= 3; ++type) {
        const std::map<std::string, DrawnLine> lines = chartlines(run.page, type);
        ASSERT_EQ(lines.size(), 3u) << "chart of type " << type;
        EXPECT_EQ(lines.at("mote 1").points, 120);
        EXPECT_EQ(lines.at("mote 1").runs, 1);
        EXPECT_EQ(lines.at("mote 2").points, 90);
        EXPECT_EQ(lines.at("mote 2").runs, 2) << "mote 2's silence must break its line";
        EXPECT_EQ(lines.at("mote 3").points, 10);
        EXPECT_EQ(lines.at("mote 3").runs, 1);
    }
}

TEST_F(ReportProgramTest, ReadingsThatShareTheirPacketsSecondDoNotBreakTheLine) {
    // Packets carrying several temperature readings, stored in the same second: two a
    // minute, a bucket per packet; then six every 20 s over a day, several packets a bucket.
    db().execute(
        "INSERT INTO marrowby.test_data (moteid, timestamp, data_type, data_value) "
        "SELECT 6, '2026-01-01 00:00:00' + INTERVAL (seq DIV 2) MINUTE, 2, 70 + seq % 3 "
        "FROM seq_0_to_239");
    db().execute(
        "INSERT INTO marrowby.test_data (moteid, timestamp, data_type, data_value) "
        "SELECT 8, '2026-02-01 00:00:00' + INTERVAL (seq DIV 6) * 20 SECOND, 2, 70 + seq % 3 "
        "FROM seq_0_to_25919");
    const ReportRun minutes = runreport(kKnownWindow, pagepath_);
    ASSERT_EQ(minutes.status, 0) << minutes.err;
    EXPECT_EQ(chartlines(minutes.page, 2).at("mote 6").points, 120);
    EXPECT_EQ(chartlines(minutes.page, 2).at("mote 6").runs, 1);
    const ReportRun day = runreport({"--since=2026-02-01", "--until=2026-02-02"}, pagepath_);
    ASSERT_EQ(day.status, 0) << day.err;
    EXPECT_GT(chartlines(day.page, 2).at("mote 8").points, 900);
    EXPECT_EQ(chartlines(day.page, 2).at("mote 8").runs, 1);
}

TEST_F(ReportProgramTest, ChartsIgnoreTheUsersOwnGnuplotSettings) {
    fillknownrows(db());
    std::ofstream(scratch_.file(".gnuplot")) << "set output '/dev/null'\n";
    const ReportRun run = runreport(kKnownWindow, pagepath_, {"HOME=" + scratch_.file("")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(chartlines(run.page, 1).at("mote 1").points, 120);
}

TEST_F(ReportProgramTest, GnuplotEndedByASignalIsNamed) {
    fillknownrows(db());
    std::ofstream(scratch_.file("gnuplot")) << "#!/bin/sh\nkill -KILL $$\n";
    chmod(scratch_.file("gnuplot").c_str(), 0700);
    const ReportRun run = runreport(kKnownWindow, pagepath_,
                                    {"PATH=" + scratch_.file("") + ":" + std::getenv("PATH")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("gnuplot could not draw the Light chart: killed by signal 9 (Killed)"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(run.page.empty());
}

TEST_F(ReportProgramTest, ChartsAreWellFormedXml) {
    fillknownrows(db());
    const ReportRun run = runreport(kKnownWindow, pagepath_);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> charts = svgelements(run.page);
    ASSERT_EQ(charts.size(), 3u);
    for (const std::string& svg : charts) {
        const std::string path = scratch_.file("chart.svg");
        std::ofstream(path) << svg;
        ChildProcess xmllint(XMLLINT_PROGRAM, {"--noout", path});
        EXPECT_EQ(xmllint.waitForExit(std::chrono::seconds(20)), 0) << xmllint.err();
    }
}

TEST_F(ReportProgramTest, LongSpanIsFoldedIntoAtMostAThousandPointsPerLine) {
    db().execute(
        "INSERT INTO marrowby.test_data (moteid, timestamp, data_type, data_value) "
        "SELECT 5, '2026-01-01 00:00:00' + INTERVAL seq * 10 SECOND, 2, 70 + seq % 5 "
        "FROM seq_0_to_8639");
    const ReportRun run = runreport({}, pagepath_);
    ASSERT_EQ(run.status, 0) << run.err;
    const DrawnLine line = chartlines(run.page, 2).at("mote 5");
    EXPECT_GT(line.points, 900);
    EXPECT_LE(line.points, 1000);
    EXPECT_EQ(line.runs, 1);
    EXPECT_EQ(summaryrows(run.page).at(0).at(2), "8640");
}

TEST_F(ReportProgramTest, ReadingInPartsGivesTheSameBucketsAsReadingAtOnce) {
    fillknownrows(db());
    report::ConnectionSettings root;
    root.user = "root";
    report::Database server(root);
    // Buckets of almost nine hours: each holds all of a series, and a series' rows (stored
    // one after the other) fall into several parts.
    const report::Window window{report::parsetimebound("", "2025-06-01").seconds,
                                report::parsetimebound("", "2026-06-01").seconds};
    const auto atonce = report::readallbuckets(server, root, window, {}, 1);
    const auto inparts = report::readallbuckets(server, root, window, {}, 7);
    ASSERT_EQ(atonce.size(), 10u);
    ASSERT_EQ(inparts.size(), atonce.size());
    for (std::size_t i = 0; i < atonce.size(); ++i) {
        EXPECT_EQ(std::tie(inparts[i].moteid, inparts[i].datatype, inparts[i].slot,
                           inparts[i].count, inparts[i].sum, inparts[i].lastlogid),
                  std::tie(atonce[i].moteid, atonce[i].datatype, atonce[i].slot, atonce[i].count,
                           atonce[i].sum, atonce[i].lastlogid));
    }
}

TEST_F(ReportProgramTest, MoteOptionKeepsOnlyTheMotesNamed) {
    fillknownrows(db());
    std::vector<std::string> args = kKnownWindow;
    args.insert(args.end(), {"--mote", "1", "--mote=3"});
    const ReportRun run = runreport(args, pagepath_);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::map<std::string, DrawnLine> lines = chartlines(run.page, 1);
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines.count("mote 2"), 0u);
    EXPECT_EQ(summaryrows(run.page).size(), 6u);
}

TEST_F(ReportProgramTest, EmptyTableGivesANoReadingsPage) {
    const ReportRun run = runreport({}, pagepath_);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.page.find("no readings"), std::string::npos) << run.page;
    EXPECT_EQ(run.page.find("<svg"), std::string::npos);
    EXPECT_NE(run.out.find("(0 readings: the table is empty)"), std::string::npos) << run.out;
}

TEST_F(ReportProgramTest, MoteWithoutReadingsIsNotCalledAnEmptyTable) {
    fillknownrows(db());
    const ReportRun run = runreport({"--mote=9"}, pagepath_);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("(0 readings: the table holds none of mote 9)"), std::string::npos)
        << run.out;
    EXPECT_NE(run.page.find("no readings: the table marrowby.test_data holds none of mote 9."),
              std::string::npos)
        << run.page;
}

TEST_F(ReportProgramTest, SpanWithoutReadingsGivesANoReadingsPage) {
    fillknownrows(db());
    const ReportRun run = runreport({"--since=2025-06-01", "--until=2025-06-02"}, pagepath_);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.page.find("no readings"), std::string::npos) << run.page;
    EXPECT_EQ(run.page.find("<svg"), std::string::npos);
}

TEST_F(ReportProgramTest, SingleReadingIsDrawnAsOnePoint) {
    db().execute(
        "INSERT INTO marrowby.test_data (moteid, timestamp, data_type, data_value) "
        "VALUES (4, '2026-01-01 00:00:00', 2, 71.5)");
    const ReportRun run = runreport({}, pagepath_);
    ASSERT_EQ(run.status, 0) << run.err;
    const DrawnLine line = chartlines(run.page, 2).at("mote 4");
    EXPECT_EQ(line.points, 1);
    EXPECT_EQ(svgelements(run.page).size(), 1u) << "light and humidity have no readings";
    EXPECT_EQ(summaryrows(run.page).at(0).at(8), "71.50");
    // A window of that one second alone.
    const ReportRun instant = runreport({"--since=0s"}, pagepath_);
    ASSERT_EQ(instant.status, 0) << instant.err;
    EXPECT_EQ(chartlines(instant.page, 2).at("mote 4").points, 1);
}

TEST_F(ReportProgramTest, UnreachableServerWritesNoPageAndSaysWhy) {
    const ReportRun run = runreport({"--socket=/nonexistent/mysqld.sock"}, pagepath_);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot connect to the database server: "), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("/nonexistent/mysqld.sock"), std::string::npos) << run.err;
    EXPECT_TRUE(run.page.empty());
    EXPECT_NE(access((pagepath_ + ".part").c_str(), F_OK), 0);
}

TEST_F(ReportProgramTest, UnwritablePageEndsWithStatusOneAndSaysWhy) {
    fillknownrows(db());
    const ReportRun run = runreport(kKnownWindow, "/nonexistent/report.html");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("/nonexistent/report.html.part: No such file or directory"),
              std::string::npos)
        << run.err;
}

TEST_F(ReportProgramTest, PageGoesWhereALinkPointsAndTheLinkStays) {
    fillknownrows(db());
    const std::string link = scratch_.file("link.html");
    ASSERT_EQ(symlink(pagepath_.c_str(), link.c_str()), 0);
    std::vector<std::string> args = kKnownWindow;
    args.push_back("--out=" + link);
    const ReportRun run = runreport(args, pagepath_);  // the page read back from the target
    struct stat linkstat {};
    EXPECT_EQ(lstat(link.c_str(), &linkstat), 0);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(S_ISLNK(linkstat.st_mode));
    EXPECT_EQ(summaryrows(run.page).size(), 9u);
}

TEST_F(ReportProgramTest, PortOnTheCommandLineConnectsOverTcpAsTheMariadbClientDoes) {
    fillknownrows(db());
    // Nothing listens on port 1: the server behind the socket must not answer instead.
    const ReportRun elsewhere = runreport({"--port=1"}, pagepath_);
    EXPECT_EQ(elsewhere.status, 1);
    EXPECT_NE(elsewhere.err.find("cannot connect to the database server: "), std::string::npos)
        << elsewhere.err;
    EXPECT_TRUE(elsewhere.page.empty());
    const ReportRun served =
        runreport({std::string("--port=") + std::getenv("MYSQL_TCP_PORT")}, pagepath_);
    EXPECT_EQ(served.status, 0) << served.err;
}

TEST_F(ReportProgramTest, MissingDefaultsFileWritesNoPageAndSaysWhy) {
    fillknownrows(db());
    const ReportRun run = runreport({"--defaults-file=/nonexistent/report.cnf"}, pagepath_);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("/nonexistent/report.cnf: No such file or directory"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(run.page.empty());
}

}  // namespace
