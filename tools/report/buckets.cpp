#include "buckets.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace report {

namespace {

const char* const kTable = "marrowby.test_data";

std::string moteclause(const std::vector<int>& motes) {
    if (motes.empty()) return "";
    std::string clause = " AND moteid IN (";
    for (std::size_t i = 0; i < motes.size(); ++i)
        clause += (i ? "," : "") + std::to_string(motes[i]);
    return clause + ")";
}

const std::string& field(const Database::Row& row, std::size_t column) {
    if (column >= row.size() || !row[column])
        throw std::runtime_error("the server returned NULL where a value was expected");
    return *row[column];
}

long long whole(const Database::Row& row, std::size_t column) {
    return std::strtoll(field(row, column).c_str(), nullptr, 10);
}

double number(const Database::Row& row, std::size_t column) {
    return std::strtod(field(row, column).c_str(), nullptr);
}

}  // namespace

void mergebucket(Bucket& into, const Bucket& from) {
    into.count += from.count;
    into.sum += from.sum;
    into.min = std::min(into.min, from.min);
    into.max = std::max(into.max, from.max);
    into.first = std::min(into.first, from.first);
    into.last = std::max(into.last, from.last);
    into.lastlogid = std::max(into.lastlogid, from.lastlogid);
}

long long bucketseconds(const Window& window) {
    const long long length = window.until - window.since + 1;
    return length <= kMaxBuckets ? 1 : (length + kMaxBuckets - 1) / kMaxBuckets;
}

std::optional<WallSeconds> newestreading(Database& db, const std::vector<int>& motes) {
    // Per mote first: that walks the (moteid, timestamp) index instead of the table.
    const std::string where = motes.empty() ? "" : " WHERE 1" + moteclause(motes);
    const auto rows =
        db.query("SELECT TO_SECONDS(MAX(newest)) - " + std::to_string(kToSecondsOfEpoch) +
                 " FROM (SELECT MAX(timestamp) AS newest FROM " + kTable + where +
                 " GROUP BY moteid) AS motes");
    if (rows.empty() || rows[0].empty() || !rows[0][0]) return std::nullopt;
    return whole(rows[0], 0);
}

std::optional<WallSeconds> oldestreading(Database& db, const Window& window,
                                         const std::vector<int>& motes) {
    // Per mote, as above: the index gives each mote's first reading in the window.
    const auto rows = db.query(
        "SELECT TO_SECONDS(MIN(oldest)) - " + std::to_string(kToSecondsOfEpoch) +
        " FROM (SELECT MIN(timestamp) AS oldest FROM " + kTable + " WHERE timestamp BETWEEN '" +
        formatwall(window.since) + "' AND '" + formatwall(window.until) + "'" + moteclause(motes) +
        " GROUP BY moteid) AS motes");
    if (rows.empty() || rows[0].empty() || !rows[0][0]) return std::nullopt;
    return whole(rows[0], 0);
}

std::optional<LogidRange> logidrange(Database& db) {
    const auto rows = db.query(std::string("SELECT MIN(logid), MAX(logid) FROM ") + kTable);
    if (rows.empty() || rows[0].size() < 2 || !rows[0][0]) return std::nullopt;
    return LogidRange{std::strtoull(field(rows[0], 0).c_str(), nullptr, 10),
                      std::strtoull(field(rows[0], 1).c_str(), nullptr, 10)};
}

std::vector<Bucket> readbuckets(Database& db, const Window& window, const std::vector<int>& motes,
                                const LogidRange& rows) {
    const std::string epoch = std::to_string(kToSecondsOfEpoch);
    const std::string start = std::to_string(window.since + kToSecondsOfEpoch);
    const std::string sql =
        "SELECT moteid, data_type, (TO_SECONDS(timestamp) - " + start + ") DIV " +
        std::to_string(bucketseconds(window)) +
        " AS slot, COUNT(*), SUM(data_value), MIN(data_value), MAX(data_value), "
        "MIN(TO_SECONDS(timestamp)) - " +
        epoch + ", MAX(TO_SECONDS(timestamp)) - " + epoch + ", MAX(logid) FROM " + kTable +
        " WHERE logid BETWEEN " + std::to_string(rows.first) + " AND " + std::to_string(rows.last) +
        " AND timestamp BETWEEN '" + formatwall(window.since) + "' AND '" +
        formatwall(window.until) + "'" + moteclause(motes) +
        " GROUP BY moteid, data_type, slot ORDER BY moteid, data_type, slot";
    std::vector<Bucket> buckets;
    for (const Database::Row& row : db.query(sql)) {
        Bucket& bucket = buckets.emplace_back();
        bucket.moteid = static_cast<int>(whole(row, 0));
        bucket.datatype = static_cast<int>(whole(row, 1));
        bucket.slot = whole(row, 2);
        bucket.count = whole(row, 3);
        bucket.sum = number(row, 4);
        bucket.min = number(row, 5);
        bucket.max = number(row, 6);
        bucket.first = whole(row, 7);
        bucket.last = whole(row, 8);
        bucket.lastlogid = std::strtoull(field(row, 9).c_str(), nullptr, 10);
    }
    return buckets;
}

std::vector<double> valuesoflogids(Database& db, const std::vector<unsigned long long>& logids) {
    if (logids.empty()) return {};
    std::string list;
    for (std::size_t i = 0; i < logids.size(); ++i)
        list += (i ? "," : "") + std::to_string(logids[i]);
    std::map<unsigned long long, double> byid;
    for (const Database::Row& row : db.query(std::string("SELECT logid, data_value FROM ") +
                                             kTable + " WHERE logid IN (" + list + ")"))
        byid[std::strtoull(field(row, 0).c_str(), nullptr, 10)] = number(row, 1);
    std::vector<double> values;
    for (unsigned long long logid : logids) {
        const auto found = byid.find(logid);
        if (found == byid.end())
            throw std::runtime_error("row " + std::to_string(logid) +
                                     " vanished while the report was read");
        values.push_back(found->second);
    }
    return values;
}

}  // namespace report
