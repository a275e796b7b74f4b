#include "page.h"

#include <cstdio>

namespace report {

namespace {

const char* const kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; }
figure { margin: 1.5em 0; }
figure svg { width: 100%; max-width: 900px; height: auto; display: block; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.25em 0.6em; text-align: right; white-space: nowrap; }
th { background: #eee; }
td.name { text-align: left; }
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

std::string summarytable(const std::vector<SummaryRow>& rows) {
    std::string html =
        "<table id=\"summary\">\n<tr><th>mote</th><th>data type</th><th>readings</th>"
        "<th>first</th><th>last</th><th>minimum</th><th>mean</th><th>maximum</th>"
        "<th>latest</th></tr>\n";
    for (const SummaryRow& row : rows) {
        const Bucket& s = row.series;
        const Quantity* quantity = quantityof(s.datatype);
        html += "<tr>" + cell(std::to_string(s.moteid)) +
                cell(quantity ? std::string(quantity->title) + " (" + quantity->unit + ")"
                              : "raw type " + std::to_string(s.datatype),
                     "name") +
                cell(std::to_string(s.count));
        if (quantity)
            html += cell(formatwall(s.first)) + cell(formatwall(s.last)) + cell(number(s.min)) +
                    cell(number(s.sum / double(s.count))) + cell(number(s.max)) +
                    cell(number(row.latest));
        else
            html += "<td colspan=\"6\"></td>";  // raw words: counting them is all that means
        html += "</tr>\n";
    }
    return html + "</table>\n";
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
    return html + "<h2>Summary</h2>\n" + summarytable(content.summary) + "</body>\n</html>\n";
}

}  // namespace report
