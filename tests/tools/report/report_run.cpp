#include "report_run.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "child_process.h"

void ReportTest::SetUp() {
    DatabaseTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    db().execute("TRUNCATE TABLE marrowby.test_data");
}

ReportRun runreport(const std::vector<std::string>& args, const std::string& pagepath,
                    const std::vector<std::string>& environment) {
    std::remove(pagepath.c_str());
    // First, so that an --out in `args` wins.
    std::vector<std::string> all = {"--user=root", "--out=" + pagepath};
    all.insert(all.end(), args.begin(), args.end());
    ChildProcess child(MOTELOG_REPORT_PROGRAM, all, environment);
    ReportRun run;
    run.status = child.waitForExit(std::chrono::seconds(60));
    run.out = child.out();
    run.err = child.err();
    std::ifstream file(pagepath);
    std::stringstream text;
    text << file.rdbuf();
    run.page = text.str();
    return run;
}

std::vector<std::vector<std::string>> summaryrows(const std::string& page) {
    const auto table = page.find("<table id=\"summary\">");
    const auto end = page.find("</table>", table);
    const std::string body = table == std::string::npos ? "" : page.substr(table, end - table);
    std::vector<std::vector<std::string>> rows;
    static const std::regex rowpattern("<tr[^>]*>(.*?)</tr>");
    static const std::regex cellpattern("<td[^>]*>([^<]*)</td>");
    for (std::sregex_iterator row(body.begin(), body.end(), rowpattern), none; row != none; ++row) {
        const std::string cells = (*row)[1];
        std::vector<std::string> texts;
        for (std::sregex_iterator cell(cells.begin(), cells.end(), cellpattern); cell != none;
             ++cell)
            texts.push_back((*cell)[1]);
        if (!texts.empty()) rows.push_back(texts);
    }
    return rows;
}

std::map<std::string, DrawnLine> chartlines(const std::string& page, int datatype) {
    const std::string start = "<figure class=\"chart\" data-type=\"" + std::to_string(datatype);
    const auto figure = page.find(start);
    if (figure == std::string::npos) return {};
    const std::string chart = page.substr(figure, page.find("</figure>", figure) - figure);
    // gnuplot puts each plot in a group: its legend text, then one path for the legend
    // sample and the line ("M" starts each piece), then a marker per point. (Plain
    // searches: std::regex recurses per character and overflows the stack on a long line.)
    const std::string groupstart = "<g id=\"gnuplot_plot_", groupend = "\n</g>\n\t</g>";
    std::map<std::string, DrawnLine> lines;
    for (auto at = chart.find(groupstart); at != std::string::npos;
         at = chart.find(groupstart, at + 1)) {
        const std::string group = chart.substr(at, chart.find(groupend, at) - at);
        const auto legend = group.find("<text>");
        if (legend == std::string::npos) continue;
        DrawnLine line;
        for (auto d = group.find(" d='"); d != std::string::npos; d = group.find(" d='", d + 1))
            for (auto c = d + 4; c < group.size() && group[c] != '\''; ++c)
                line.runs += group[c] == 'M';
        for (auto use = group.find("<use "); use != std::string::npos;
             use = group.find("<use ", use + 1))
            ++line.points;
        // Less the legend's sample line and its marker.
        line.runs -= 1;
        line.points -= 1;
        lines[group.substr(legend + 6, group.find("</text>", legend) - legend - 6)] = line;
    }
    return lines;
}

std::vector<std::string> svgelements(const std::string& page) {
    std::vector<std::string> elements;
    for (auto at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1)) {
        const auto end = page.find("</svg>", at);
        elements.push_back(page.substr(at, end == std::string::npos ? end : end + 6 - at));
    }
    return elements;
}

std::vector<int> knownminutes(int mote) {
    std::vector<int> minutes;
    for (int minute = 0; minute < 120; ++minute) {
        if (mote == 2 && minute >= 30 && minute < 60) continue;
        if (mote == 3 && minute >= 10) continue;
        minutes.push_back(minute);
    }
    return minutes;
}

void fillknownrows(TestDatabase& db) {
    std::string values;
    for (int mote = 1; mote <= 3; ++mote)
        for (int type = 1; type <= 3; ++type)
            for (int minute : knownminutes(mote)) {
                char row[128];
                std::snprintf(row, sizeof row,
                              "%s(%d, '2026-01-01 00:00:00' + INTERVAL %d MINUTE, %d, %d)",
                              values.empty() ? "" : ",", mote, minute, type,
                              mote * 100 + type * 10 + minute % 7);
                values += row;
            }
    db.execute("INSERT INTO marrowby.test_data (moteid, timestamp, data_type, data_value) VALUES " +
               values);
    db.execute(
        "INSERT INTO marrowby.test_data (moteid, timestamp, data_type, data_value) VALUES "
        "(3, '2026-01-01 00:05:00', 7, 1.7976931348623157e308),"
        "(3, '2026-01-01 00:06:00', 7, -1.7976931348623157e308)");
}
