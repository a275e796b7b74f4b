#include "series.h"

#include <algorithm>
#include <cmath>

namespace report {

namespace {

// A silence longer than this many usual intervals breaks the line. Timestamps have a
// resolution of a second, so a usual interval is never taken as shorter.
constexpr double kGapFactor = 5;
constexpr double kShortestInterval = 1;

// The median of the intervals seen: the mean spacing within each bucket and the
// silences between buckets. A bucket whose readings share one second (the readings of
// one packet) tells nothing about the spacing of packets.
double usualinterval(const std::vector<Bucket>& buckets) {
    std::vector<double> intervals;
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        const Bucket& bucket = buckets[i];
        if (bucket.count > 1 && bucket.last > bucket.first)
            intervals.push_back(double(bucket.last - bucket.first) / double(bucket.count - 1));
        if (i > 0) intervals.push_back(double(bucket.first - buckets[i - 1].last));
    }
    if (intervals.empty()) return kShortestInterval;
    auto middle = intervals.begin() + intervals.size() / 2;
    std::nth_element(intervals.begin(), middle, intervals.end());
    return std::max(*middle, kShortestInterval);
}

}  // namespace

std::vector<Series> groupseries(const std::vector<Bucket>& buckets) {
    std::vector<Series> series;
    for (const Bucket& bucket : buckets) {
        if (series.empty() || series.back().moteid != bucket.moteid ||
            series.back().datatype != bucket.datatype)
            series.push_back(Series{bucket.moteid, bucket.datatype, {}});
        series.back().buckets.push_back(bucket);
    }
    return series;
}

Bucket summarise(const Series& series) {
    if (series.buckets.empty()) return Bucket{series.moteid, series.datatype};
    Bucket total = series.buckets.front();
    for (std::size_t i = 1; i < series.buckets.size(); ++i) mergebucket(total, series.buckets[i]);
    return total;
}

std::vector<Run> chartruns(const Series& series) {
    const double longestsilence = kGapFactor * usualinterval(series.buckets);
    std::vector<Run> runs;
    const Bucket* previous = nullptr;
    for (const Bucket& bucket : series.buckets) {
        const double value = bucket.sum / double(bucket.count);
        if (!std::isfinite(value)) {
            previous = nullptr;
            continue;
        }
        if (!previous || double(bucket.first - previous->last) > longestsilence)
            runs.emplace_back();
        runs.back().push_back(Point{(bucket.first + bucket.last) / 2, value});
        previous = &bucket;
    }
    return runs;
}

}  // namespace report
