// What the server hands over: readings folded into time buckets per mote and data type.
#pragma once

#include <optional>
#include <vector>

#include "database.h"
#include "walltime.h"

namespace report {

// The stretch of time a report covers, both ends included.
struct Window {
    WallSeconds since = 0;
    WallSeconds until = 0;
};

// The readings of one mote and data type within one bucket.
struct Bucket {
    int moteid = 0;
    int datatype = 0;
    long long count = 0;
    double sum = 0;
    double min = 0;
    double max = 0;
    WallSeconds first = 0;  // the bucket's earliest and latest reading
    WallSeconds last = 0;
    unsigned long long lastlogid = 0;  // the row stored last
};

// At most this many buckets per series, whatever the window.
constexpr long long kMaxBuckets = 1000;

// The bucket length in seconds that fits `window` into kMaxBuckets buckets.
long long bucketseconds(const Window& window);

// The newest reading's time among `motes` (all motes when empty); none for an empty table.
std::optional<WallSeconds> newestreading(Database& db, const std::vector<int>& motes);

// Every bucket of `window`, ordered by mote, data type and time.
std::vector<Bucket> readbuckets(Database& db, const Window& window, const std::vector<int>& motes);

// The stored value of each row in `logids`, in that order.
std::vector<double> valuesoflogids(Database& db, const std::vector<unsigned long long>& logids);

}  // namespace report
