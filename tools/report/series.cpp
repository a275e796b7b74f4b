#include "series.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace report {

namespace {

// A silence longer than this many usual intervals breaks the line. Timestamps have a
// resolution of a second, so a usual interval is never taken as shorter.
constexpr double kGapFactor = 5;
constexpr double kShortestInterval = 1;
// Fewer silences between buckets than this say too little on their own.
constexpr std::size_t kEnoughSilences = 3;

double median(std::vector<double> values) {
    auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The median of the silences between buckets: the last reading of a bucket and the first
// of the next are consecutive, so a silence is one interval between packets, however
// many readings of a type a packet carries. Within a bucket, readings that share their
// packet's second make the mean spacing shorter than that; it only fills in for a series
// of few buckets, and a bucket within one second tells nothing at all.
double usualinterval(const std::vector<Bucket>& buckets) {
    std::vector<double> silences, spacings;
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        const Bucket& bucket = buckets[i];
        if (bucket.count > 1 && bucket.last > bucket.first)
            spacings.push_back(double(bucket.last - bucket.first) / double(bucket.count - 1));
        if (i > 0) silences.push_back(double(bucket.first - buckets[i - 1].last));
    }
    if (silences.size() < kEnoughSilences)
        silences.insert(silences.end(), spacings.begin(), spacings.end());
    if (silences.empty()) return kShortestInterval;
    return std::max(median(std::move(silences)), kShortestInterval);
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

std::vector<SilentMote> silentmotes(const std::vector<Series>& series, WallSeconds end) {
    std::vector<SilentMote> silent;
    for (std::size_t first = 0; first < series.size();) {
        SilentMote mote{series[first].moteid, 0, 0};
        std::optional<double> interval;  // the shortest of its series' usual intervals
        std::size_t next = first;
        for (; next < series.size() && series[next].moteid == mote.moteid; ++next) {
            const Bucket total = summarise(series[next]);
            mote.lastheard = std::max(mote.lastheard, total.last);
            if (total.count < 2) continue;
            const double usual = usualinterval(series[next].buckets);
            interval = interval ? std::min(*interval, usual) : usual;
        }
        first = next;
        if (!interval || double(end - mote.lastheard) <= kGapFactor * *interval) continue;
        mote.usualinterval = *interval;
        silent.push_back(mote);
    }
    return silent;
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
