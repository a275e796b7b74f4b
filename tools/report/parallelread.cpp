#include "parallelread.h"

#include <algorithm>
#include <exception>
#include <map>
#include <thread>
#include <tuple>

namespace report {

namespace {

constexpr unsigned long long kRowsPerPart = 1000000;
constexpr unsigned kMostParts = 4;

std::vector<LogidRange> splitrange(const LogidRange& all, unsigned long long parts) {
    const unsigned long long span = all.last - all.first + 1;
    if (parts == 0)
        parts = std::clamp<unsigned long long>(
            std::min<unsigned long long>(span / kRowsPerPart, std::thread::hardware_concurrency()),
            1, kMostParts);
    parts = std::min(parts, span);
    std::vector<LogidRange> ranges;
    for (unsigned long long part = 0; part < parts; ++part)
        ranges.push_back(
            {all.first + span * part / parts, all.first + span * (part + 1) / parts - 1});
    return ranges;
}

}  // namespace

std::vector<Bucket> readallbuckets(Database& db, const ConnectionSettings& settings,
                                   const Window& window, const std::vector<int>& motes,
                                   unsigned parts) {
    const std::optional<LogidRange> all = logidrange(db);
    if (!all) return {};
    const std::vector<LogidRange> ranges = splitrange(*all, parts);
    if (ranges.size() == 1) return readbuckets(db, window, motes, ranges[0]);

    std::vector<std::vector<Bucket>> partbuckets(ranges.size());
    std::vector<std::exception_ptr> failures(ranges.size());
    std::vector<std::thread> readers;
    for (std::size_t i = 0; i < ranges.size(); ++i)
        readers.emplace_back([&, i] {
            try {
                Database own(settings);
                partbuckets[i] = readbuckets(own, window, motes, ranges[i]);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        });
    for (std::thread& reader : readers) reader.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);

    std::map<std::tuple<int, int, long long>, Bucket> merged;
    for (const std::vector<Bucket>& part : partbuckets)
        for (const Bucket& bucket : part) {
            const auto [at, added] =
                merged.try_emplace({bucket.moteid, bucket.datatype, bucket.slot}, bucket);
            if (!added) mergebucket(at->second, bucket);
        }
    std::vector<Bucket> buckets;
    for (const auto& entry : merged) buckets.push_back(entry.second);
    return buckets;
}

}  // namespace report
