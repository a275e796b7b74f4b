#include "page.h"

#include <cstdio>

namespace report {

namespace {

const char* const kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; }
@media (max-width: 600px) { body { margin: 0.75em; } }
figure { margin: 1.5em 0; }
figure svg { width: 100%; height: auto; display: block; }
div.table { overflow-x: auto; }
table { border-collapse: collapse; }
tr.silent td { background: #fde8e0; }
p.silent { font-weight: bold; color: #a02000; }
th, td { border: 1px solid #bbb; padding: 0.25em 0.6em; text-align: right; white-space: nowrap; }
th { background: #eee; }
td.name { text-align: left; white-space: normal; }
td.time { white-space: normal; }
p.none { font-style: italic; }
)";

std::string number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

const Quantity* quantityof(int datatype) {
    for (const Quantity& quantity : quantities())
        if (quantity.datatype == datatype) return &quantity;
    return nullptr;
}

std::string cell(const std::string& text, const char* cls = nullptr) {
    return std::string(cls ? "<td class=\"" + std::string(cls) + "\">" : "<td>") +
           escapehtml(text) + "</td>";
}

bool issilent(int moteid, const std::vector<SilentMote>& silent) {
    for (const SilentMote& mote : silent)
        if (mote.moteid == moteid) return true;
    return false;
}

std::string silentnotes(const std::vector<SilentMote>& silent) {
    std::string html;
    char interval[32];
    for (const SilentMote& mote : silent) {
        std::snprintf(interval, sizeof interval, "%.0f s", mote.usualinterval);
        html += "<p class=\"silent\" id=\"silent-" + std::to_string(mote.moteid) + "\">Mote " +
                std::to_string(mote.moteid) + " is silent: last heard " +
                escapehtml(formatwall(mote.lastheard)) +
                ", more than five times its usual interval (" + interval + ") ago.</p>\n";
    }
    return html;
}

// The quantities, a row per mote and quantity.
std::string quantitytable(const std::vector<SummaryRow>& rows,
                          const std::vector<SilentMote>& silent) {
    std::string html =
        "<div class=\"table\"><table id=\"summary\">\n<tr><th>mote</th><th>quantity</th>"
        "<th>readings</th><th>first</th><th>last</th><th>minimum</th><th>mean</th>"
        "<th>maximum</th><th>latest</th></tr>\n";
    for (const SummaryRow& row : rows) {
        const Bucket& s = row.series;
        const Quantity* quantity = quantityof(s.datatype);
        if (!quantity) continue;
        html += std::string(issilent(s.moteid, silent) ? "<tr class=\"silent\">" : "<tr>") +
                cell(std::to_string(s.moteid)) +
                cell(std::string(quantity->title) + " (" + quantity->unit + ")", "name") +
                cell(std::to_string(s.count)) + cell(formatwall(s.first), "time") +
                cell(formatwall(s.last), "time") + cell(number(s.min)) +
                cell(number(s.sum / double(s.count))) + cell(number(s.max)) +
                cell(number(row.latest)) + "</tr>\n";
    }
    return html + "</table></div>\n";
}

// The types stored raw, one line per mote: counting raw words is all that means.
std::string rawtable(const std::vector<SummaryRow>& rows) {
    std::string lines;
    for (std::size_t i = 0; i < rows.size();) {
        const int moteid = rows[i].series.moteid;
        std::string types;
        for (; i < rows.size() && rows[i].series.moteid == moteid; ++i) {
            const Bucket& s = rows[i].series;
            if (quantityof(s.datatype)) continue;
            types += (types.empty() ? "" : ", ") + std::to_string(s.datatype) + " (" +
                     std::to_string(s.count) + ")";
        }
        if (!types.empty())
            lines += "<tr>" + cell(std::to_string(moteid)) + cell(types, "name") + "</tr>\n";
    }
    if (lines.empty()) return "";
    return "<h3>Data types stored raw</h3>\n<div class=\"table\"><table id=\"raw\">\n"
           "<tr><th>mote</th><th>types (readings)</th></tr>\n" +
           lines + "</table></div>\n";
}

}  // namespace

std::string escapehtml(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string motesnamed(const std::vector<int>& motes) {
    if (motes.empty()) return "all motes";
    std::string named = motes.size() == 1 ? "mote " : "motes ";
    for (std::size_t i = 0; i < motes.size(); ++i)
        named += (i ? ", " : "") + std::to_string(motes[i]);
    return named;
}

std::string renderpage(const ReportContent& content) {
    const std::string motes = motesnamed(content.motes);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>motelog report</title>\n<style>" +
        std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>motelog report</h1>\n";
    if (!content.window) {
        return html +
               "<p class=\"none\" id=\"no-readings\">no readings: the table "
               "marrowby.test_data " +
               (content.motes.empty() ? "is empty" : "holds none of " + escapehtml(motes)) +
               ".</p>\n</body>\n</html>\n";
    }
    html += "<p>Readings of " + escapehtml(motes) + " from " +
            escapehtml(formatwall(content.window->since)) + " to " +
            escapehtml(formatwall(content.window->until)) + " (the database server's clock).</p>\n";
    if (content.summary.empty()) {
        return html +
               "<p class=\"none\" id=\"no-readings\">no readings in this time.</p>\n"
               "</body>\n</html>\n";
    }
    for (const ChartSection& chart : content.charts) {
        html += "<h2>" + escapehtml(chart.quantity->title) + "</h2>\n";
        if (chart.svg.empty())
            html += "<p class=\"none\">no readings of " + escapehtml(chart.quantity->axislabel) +
                    ".</p>\n";
        else
            html += "<figure class=\"chart\" data-type=\"" +
                    std::to_string(chart.quantity->datatype) + "\">\n" + chart.svg + "</figure>\n";
    }
    return html + "<h2>Summary</h2>\n" + silentnotes(content.silent) +
           quantitytable(content.summary, content.silent) + rawtable(content.summary) +
           "</body>\n</html>\n";
}

}  // namespace report
