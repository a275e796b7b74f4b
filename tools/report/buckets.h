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
    long long slot = 0;  // which bucket of the window, from 0
    long long count = 0;
    double sum = 0;
    double min = 0;
    double max = 0;
    WallSeconds first = 0;  // the bucket's earliest and latest reading
    WallSeconds last = 0;
    unsigned long long lastlogid = 0;  // the row stored last
};

// Adds the readings of `from` to `into`.
void mergebucket(Bucket& into, const Bucket& from);

// At most this many buckets per series, whatever the window.
constexpr long long kMaxBuckets = 1000;

// The bucket length in seconds that fits `window` into kMaxBuckets buckets.
long long bucketseconds(const Window& window);

// The newest reading's time among `motes` (all motes when empty); none for an empty table.
std::optional<WallSeconds> newestreading(Database& db, const std::vector<int>& motes);

// The oldest reading's time within `window` among `motes` (all motes when empty); none
// when the window holds no readings of them.
std::optional<WallSeconds> oldestreading(Database& db, const Window& window,
                                         const std::vector<int>& motes);

// A stretch of the table's rows by their logid, both ends included.
struct LogidRange {
    unsigned long long first = 0;
    unsigned long long last = 0;
};

// The lowest and highest logid in the table; none when it is empty.
std::optional<LogidRange> logidrange(Database& db);

// The buckets of `window` among the rows of `rows`, ordered by mote, data type and slot.
// A bucket whose readings straddle the end of `rows` comes in part from each side.
std::vector<Bucket> readbuckets(Database& db, const Window& window, const std::vector<int>& motes,
                                const LogidRange& rows);

// The stored value of each row in `logids`, in that order.
std::vector<double> valuesoflogids(Database& db, const std::vector<unsigned long long>& logids);

}  // namespace report
