// The page as a browser shows it: Debian's chromium, headless, with no network, on a
// phone's width and on a wide screen.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>

#include "child_process.h"
#include "report_run.h"
#include "scratch_dir.h"

namespace {

// Written into the document by the page copy's script: the layout as laid out.
struct Layout {
    double viewport = 0, scrollwidth = 0, content = 0;
    struct Chart {
        double width = 0, height = 0, plot = 0, points = 0;
    };
    std::vector<Chart> charts;
};

// Measures, for each chart, its width, the plot's width (its horizontal grid lines) and
// how far apart its outermost plotted points lie (the legend's samples lie outside), and
// writes it all into the page around the frame.
const char* const kMeasure = R"(<script>
const root = document.documentElement, lines = [];
const content = document.body.getBoundingClientRect().width;
lines.push(`page ${root.clientWidth} ${root.scrollWidth} ${content}`);
for (const svg of document.querySelectorAll('figure.chart svg')) {
  const box = svg.getBoundingClientRect();
  let left = 0, right = 0;
  for (const grid of svg.querySelectorAll('path.gridline')) {
    const g = grid.getBoundingClientRect();
    if (g.width > right - left) { left = g.left; right = g.right; }
  }
  let first = Infinity, last = -Infinity;
  for (const point of svg.querySelectorAll('g[id^="gnuplot_plot_"] use')) {
    const p = point.getBoundingClientRect(), x = p.left + p.width / 2;
    if (x >= left && x <= right) { first = Math.min(first, x); last = Math.max(last, x); }
  }
  lines.push(`chart ${box.width} ${box.height} ${right - left} ${last > first ? last - first : 0}`);
}
const pre = parent.document.createElement('pre');
pre.id = 'layout';
pre.textContent = lines.join(';');
parent.document.body.append(pre);
</script>)";

// Every fetch forbidden: a violation is a console error, which fails the test.
const char* const kNoFetches =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">";

std::string attributetext(const std::string& text) {
    std::string escaped;
    for (char c : text) escaped += c == '&' ? "&amp;" : c == '"' ? "&quot;" : std::string(1, c);
    return escaped;
}

class ReportBrowserTest : public ReportTest {
protected:
    // Shows `page` in a frame `width` pixels wide (a headless window is at least 500) and
    // returns its layout.
    Layout show(std::string page, int width) {
        page.replace(page.find("<head>") + 6, 0, kNoFetches);
        page.replace(page.rfind("</body>"), 0, kMeasure);
        const std::string copy = scratch_.file("checked.html");
        std::ofstream(copy) << "<!DOCTYPE html>\n<html><head>" << kNoFetches
                            << "</head><body style=\"margin: 0\"><iframe style=\"border: 0; width: "
                            << width << "px; height: 900px\" srcdoc=\"" << attributetext(page)
                            << "\"></iframe></body></html>\n";
        ChildProcess chromium(
            CHROMIUM_PROGRAM,
            {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--hide-scrollbars", "--user-data-dir=" + scratch_.file("profile"),
             "--window-size=1600,1000", "--enable-logging=stderr", "--v=0",
             "--dump-dom", "file://" + copy});
        EXPECT_EQ(chromium.waitForExit(std::chrono::seconds(60)), 0) << chromium.err();
        EXPECT_EQ(chromium.err().find(":CONSOLE"), std::string::npos) << chromium.err();
        std::smatch found;
        Layout layout;
        if (!std::regex_search(chromium.out(), found,
                               std::regex("<pre id=\"layout\">([^<]*)</pre>"))) {
            ADD_FAILURE() << chromium.out().substr(0, 2000);
            return layout;
        }
        const std::string text = found[1];
        const std::regex number("-?[0-9]+(\\.[0-9]+)?(e[-+]?[0-9]+)?");
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line, ';');) {
            std::vector<double> values;
            for (std::sregex_iterator n(line.begin(), line.end(), number), none; n != none; ++n)
                values.push_back(std::stod(n->str()));
            if (line.rfind("page", 0) == 0 && values.size() == 3) {
                layout.viewport = values[0];
                layout.scrollwidth = values[1];
                layout.content = values[2];
            } else if (values.size() == 4) {
                layout.charts.push_back({values[0], values[1], values[2], values[3]});
            }
        }
        return layout;
    }

    const ScratchDir scratch_;
};

TEST_F(ReportBrowserTest, ChartsFillThePageFromAPhoneToAWideScreenAndAnHourFillsThePlot) {
    // An hour of readings every 10 s from three motes, under the default window of a day.
    db().execute(
        "INSERT INTO marrowby.test_data (moteid, timestamp, data_type, data_value) "
        "SELECT 1 + seq % 3, '2026-03-01 08:00:00' + INTERVAL (seq DIV 9) * 10 SECOND, "
        "1 + (seq DIV 3) % 3, 50 + seq % 11 FROM seq_0_to_3239");
    const ReportRun run = runreport({}, scratch_.file("report.html"));
    ASSERT_EQ(run.status, 0) << run.err;

    for (const int width : {390, 1400}) {
        const Layout layout = show(run.page, width);
        SCOPED_TRACE("window width " + std::to_string(width));
        EXPECT_EQ(layout.viewport, width);
        EXPECT_LE(layout.scrollwidth, layout.viewport) << "the page overflows horizontally";
        ASSERT_EQ(layout.charts.size(), 3u);
        for (const Layout::Chart& chart : layout.charts) {
            EXPECT_GE(chart.width, 0.8 * layout.content) << "content width " << layout.content;
            EXPECT_GT(chart.height, 0);
            EXPECT_GE(chart.points, 0.8 * chart.plot) << "plot width " << chart.plot;
        }
    }
}

}  // namespace
