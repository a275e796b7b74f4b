// One mote's readings of one data type, turned into a summary row and into the runs of
// a chart line.
#pragma once

#include <optional>
#include <vector>

#include "buckets.h"

namespace report {

struct Series {
    int moteid = 0;
    int datatype = 0;
    std::vector<Bucket> buckets;  // in time order
};

struct Point {
    WallSeconds time = 0;
    double value = 0;
};

// A stretch of a chart line without a gap.
using Run = std::vector<Point>;

// Splits buckets ordered by mote and data type into one series each.
std::vector<Series> groupseries(const std::vector<Bucket>& buckets);

// The whole series folded into one bucket.
Bucket summarise(const Series& series);

// A mote silent for more than five times its usual interval at the end of a window.
struct SilentMote {
    int moteid = 0;
    WallSeconds lastheard = 0;  // its newest reading
    double usualinterval = 0;   // seconds
};

// The motes among `series` (grouped by mote) that fell silent before `end`. A mote needs
// two readings of some data type for a usual interval; with fewer it is never called
// silent.
std::vector<SilentMote> silentmotes(const std::vector<Series>& series, WallSeconds end);

// The series' points, one per bucket at its readings' mean, split where the mote was
// silent for much longer than its usual interval. Points with a value that is not a
// finite number are left out and split the line too.
std::vector<Run> chartruns(const Series& series);

}  // namespace report
