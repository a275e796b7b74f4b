#include "assemble.h"

#include <stdexcept>

#include "parallelread.h"

namespace report {

namespace {

constexpr long long kDefaultSpan = 24 * 3600;

std::vector<ChartSection> drawcharts(const std::vector<Series>& series, const Window& window) {
    std::vector<ChartSection> charts;
    for (const Quantity& quantity : quantities()) {
        std::vector<ChartLine> lines;
        for (const Series& one : series) {
            if (one.datatype != quantity.datatype) continue;
            ChartLine line{one.moteid, chartruns(one)};
            if (!line.runs.empty()) lines.push_back(std::move(line));
        }
        charts.push_back({&quantity, lines.empty() ? "" : drawchart(quantity, lines, window)});
    }
    return charts;
}

}  // namespace

Window reportwindow(const ReportOptions& options, WallSeconds newest) {
    Window window;
    window.until = newest;
    if (options.until)
        window.until =
            options.until->isspan ? newest - options.until->seconds : options.until->seconds;
    window.since = window.until - kDefaultSpan;
    if (options.since)
        window.since =
            options.since->isspan ? window.until - options.since->seconds : options.since->seconds;
    if (window.since > window.until)
        throw std::runtime_error("the report would start at " + formatwall(window.since) +
                                 ", after its end at " + formatwall(window.until));
    return window;
}

ReportContent assemblereport(const ReportOptions& options) {
    Database db(options.connection);
    ReportContent content;
    content.motes = options.motes;
    const std::optional<WallSeconds> newest = newestreading(db, options.motes);
    if (!newest) return content;
    Window window = reportwindow(options, *newest);
    // Without --since the charts begin at the window's first reading, so that a new
    // station's hour fills them instead of a sliver at the end of a day.
    if (!options.since)
        if (const auto oldest = oldestreading(db, window, options.motes)) window.since = *oldest;
    content.window = window;

    const std::vector<Series> series =
        groupseries(readallbuckets(db, options.connection, window, options.motes));
    std::vector<unsigned long long> lastlogids;
    for (const Series& one : series) {
        content.summary.push_back({summarise(one), 0});
        lastlogids.push_back(content.summary.back().series.lastlogid);
    }
    const std::vector<double> latest = valuesoflogids(db, lastlogids);
    for (std::size_t i = 0; i < latest.size(); ++i) content.summary[i].latest = latest[i];
    content.silent = silentmotes(series, window.until);
    content.charts = drawcharts(series, window);
    return content;
}

}  // namespace report
