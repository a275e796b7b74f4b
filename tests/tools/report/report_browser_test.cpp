// The page as a browser shows it: Debian's chromium, headless, with no network.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>

#include "child_process.h"
#include "report_run.h"
#include "scratch_dir.h"

namespace {

class ReportBrowserTest : public ReportTest {
protected:
    const ScratchDir scratch_;
};

TEST_F(ReportBrowserTest, ShowsThreeChartsOfNonZeroSizeWithoutConsoleErrorsOrFetches) {
    fillknownrows(db());
    const ReportRun run =
        runreport({"--since=2026-01-01 00:00", "--until=2026-01-01 02:00"}, scratch_.file("report.html"));
    ASSERT_EQ(run.status, 0) << run.err;

    // A copy that forbids every fetch (a violation is a console error) and writes the
    // charts' laid-out sizes into the document.
    std::string page = run.page;
    page.replace(page.find("<head>") + 6, 0,
                 "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                 "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">");
    page.replace(page.rfind("</body>"), 0,
                 "<script>const sizes = document.createElement('pre'); sizes.id = 'sizes';"
                 "sizes.textContent = [...document.querySelectorAll('figure.chart svg')]"
                 ".map(svg => { const box = svg.getBoundingClientRect(); "
                 "return Math.round(box.width) + 'x' + Math.round(box.height); }).join(' ');"
                 "document.body.append(sizes);</script>");
    const std::string copy = scratch_.file("checked.html");
    std::ofstream(copy) << page;

    const auto started = std::chrono::steady_clock::now();
    ChildProcess chromium(
        CHROMIUM_PROGRAM,
        {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--user-data-dir=" + scratch_.file("profile"), "--window-size=1200,900",
         "--enable-logging=stderr", "--v=0", "--dump-dom", "file://" + copy});
    ASSERT_EQ(chromium.waitForExit(std::chrono::seconds(60)), 0) << chromium.err();
    RecordProperty("chromium_ms",
                   std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - started)
                                      .count()));

    std::smatch sizes;
    ASSERT_TRUE(
        std::regex_search(chromium.out(), sizes, std::regex("<pre id=\"sizes\">([^<]*)</pre>")))
        << chromium.out().substr(0, 2000);
    const std::string text = sizes[1];
    const std::regex sizepattern("(\\d+)x(\\d+)");
    int charts = 0;
    for (std::sregex_iterator size(text.begin(), text.end(), sizepattern), none; size != none;
         ++size, ++charts) {
        EXPECT_GT(std::stoi((*size)[1]), 0) << text;
        EXPECT_GT(std::stoi((*size)[2]), 0) << text;
    }
    EXPECT_EQ(charts, 3) << text;
    EXPECT_EQ(chromium.err().find(":CONSOLE"), std::string::npos) << chromium.err();
}

}  // namespace
