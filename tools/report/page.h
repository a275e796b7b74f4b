// The report as one self-contained HTML page: the charts inline as SVG, the summary
// table, no scripts and nothing fetched.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "buckets.h"
#include "chart.h"
#include "series.h"

namespace report {

struct SummaryRow {
    Bucket series;  // all of one mote's readings of one data type
    double latest = 0;
};

struct ChartSection {
    const Quantity* quantity;
    std::string svg;  // empty: no readings of this quantity
};

struct ReportContent {
    std::optional<Window> window;  // none: the table holds no readings of the motes
    std::vector<int> motes;        // the motes asked for; empty: all
    std::vector<SummaryRow> summary;
    std::vector<SilentMote> silent;
    std::vector<ChartSection> charts;
};

// Escapes the characters that mean something in HTML text and attribute values.
std::string escapehtml(const std::string& text);

// "all motes" for none, "mote 3", "motes 1, 3".
std::string motesnamed(const std::vector<int>& motes);

std::string renderpage(const ReportContent& content);

}  // namespace report
