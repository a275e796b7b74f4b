#include "line_runs.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "bench_traffic.h"
#include "logger_process.h"
#include "process_stats.h"
#include "pty_line.h"
#include "run_figures.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kReadingsPerPacket = 6;
constexpr auto kPoll = std::chrono::milliseconds(100);

std::uint64_t storedRows(AdminConnection& db) {
    // logid counts up from 1 after a truncate, so its maximum is the row count without
    // the cost of counting (which would load the server whose throughput this measures).
    // That holds only here: the single server this benchmark starts, with the direct
    // mode's rows each committed on its own and never rolled back. On a cluster logid
    // steps by the number of nodes, and a rolled-back batch leaves a gap.
    const std::string top = db.scalar("select max(logid) from marrowby.test_data");
    return top.empty() ? 0 : std::stoull(top);
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A pty line with motelog reading its far end. Waits on the line end when asked to stop
// or when motelog has gone, so a run cannot hang on a dead logger.
struct LoggedLine {
    LoggedLine(const RunSetup& setup, const std::string& name, const std::atomic<bool>& stop)
        : line([this, &stop] { return stop.load() || !logger.running(); }),
          logger(setup.motelog, line.farEndPath(), setup.workDir + "/" + name + ".trace",
                 setup.workDir + "/" + name + ".err") {}

    motesim::PtyLine line;
    LoggerProcess logger;
};

}  // namespace

void dropArrivalStamps(AdminConnection& db) {
    db.execute("drop trigger if exists marrowby.bench_stamp");
    db.execute("drop table if exists marrowby.bench_arrival");
}

UnthrottledResult runUnthrottled(const RunSetup& setup, AdminConnection& db,
                                 std::uint64_t packets, std::uint64_t window,
                                 std::chrono::seconds limit) {
    UnthrottledResult result;
    result.packets = packets;
    result.windowPackets = window;
    db.execute("truncate table marrowby.test_data");
    const auto frames = benchFrames(4096, false);

    std::atomic<bool> stop{false};
    LoggedLine run(setup, "unthrottled", stop);
    if (!run.line.waitForReader(std::chrono::seconds(10))) {
        result.failure = "motelog did not open the line";
        return result;
    }
    const double serverCpuBefore = processStats(setup.serverPid).cpuSeconds;
    const auto start = Clock::now();
    std::thread writer([&] {
        for (std::uint64_t i = 0; i < packets; ++i) {
            const auto& frame = frames[i % frames.size()];
            if (!run.line.send(frame.data(), frame.size())) return;
        }
    });

    // Memory after these counts, as far as the run reaches them, and at its end.
    std::vector<std::uint64_t> milestones;
    for (const std::uint64_t count : {1000, 10000, 50000, 100000})
        if (count < packets) milestones.push_back(count);
    milestones.push_back(packets);
    std::size_t nextMilestone = 0;
    while (result.stored < packets) {
        std::this_thread::sleep_for(kPoll);
        const auto now = Clock::now();
        result.stored = storedRows(db) / kReadingsPerPacket;
        if (result.windowSeconds == 0 && result.stored >= window) result.windowSeconds = seconds(now - start);
        while (nextMilestone < milestones.size() && result.stored >= milestones[nextMilestone]) {
            const ProcessStats stats = processStats(run.logger.pid());
            result.memory.push_back({milestones[nextMilestone], stats.peakResidentKb, stats.residentKb});
            ++nextMilestone;
        }
        if (!run.logger.running()) {
            result.failure = "motelog ended; see " + setup.workDir + "/unthrottled.err";
            break;
        }
        if (now - start > limit) {
            result.failure = "time limit reached";
            break;
        }
    }
    result.allSeconds = seconds(Clock::now() - start);
    result.loggerCpuSeconds = processStats(run.logger.pid()).cpuSeconds;
    result.serverCpuSeconds = processStats(setup.serverPid).cpuSeconds - serverCpuBefore;
    stop = true;
    writer.join();
    run.logger.stop();
    return result;
}

LineRateResult runAtLineRate(const RunSetup& setup, AdminConnection& db, double packetsPerSecond,
                             std::chrono::seconds duration) {
    LineRateResult result;
    db.execute("truncate table marrowby.test_data");
    // Each row's arrival, stamped by the server as it inserts it.
    db.execute("create or replace table marrowby.bench_arrival (moteid int, arrived decimal(17,6))");
    db.execute(
        "create or replace trigger marrowby.bench_stamp after insert on marrowby.test_data "
        "for each row insert into marrowby.bench_arrival values (new.moteid, "
        "unix_timestamp(sysdate(6)))");
    const auto packets = static_cast<std::size_t>(packetsPerSecond * static_cast<double>(duration.count()));
    const auto frames = benchFrames(packets, true);
    std::vector<double> writtenAt(packets);

    std::atomic<bool> stop{false};
    {
        LoggedLine run(setup, "line-rate", stop);
        if (!run.line.waitForReader(std::chrono::seconds(10))) {
            result.failure = "motelog did not open the line";
            return result;
        }
        const auto start = Clock::now();
        for (std::size_t i = 0; i < packets; ++i) {
            std::this_thread::sleep_until(
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(i) / packetsPerSecond)));
            if (!run.line.send(frames[i].data(), frames[i].size())) break;
            writtenAt[i] = std::chrono::duration<double>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
            ++result.sent;
        }
        const std::uint64_t expected = result.sent * kReadingsPerPacket;
        result.backlogRows = expected - std::min(expected, storedRows(db));
        const auto grace = Clock::now() + std::chrono::seconds(10);
        while (storedRows(db) < expected && Clock::now() < grace) std::this_thread::sleep_for(kPoll);
        result.missingRows = expected - std::min(expected, storedRows(db));
        run.logger.stop();
    }

    std::vector<double> latenciesMs;
    // Each packet's latency in sending order, for looking into the tail.
    std::ofstream perPacket(setup.workDir + "/line-rate-latencies.txt");
    perPacket << "# packet  ms from its last byte on the line to its last row\n";
    for (const auto& row : db.rows("select moteid, max(arrived) from marrowby.bench_arrival "
                                   "group by moteid order by moteid")) {
        const auto index = static_cast<std::size_t>(std::stoul(row[0]) - 1);
        if (index >= result.sent) continue;
        latenciesMs.push_back((std::stod(row[1]) - writtenAt[index]) * 1000);
        perPacket << index << ' ' << latenciesMs.back() << '\n';
    }
    dropArrivalStamps(db);
    if (latenciesMs.empty()) {
        result.failure = "no rows arrived";
        return result;
    }
    std::sort(latenciesMs.begin(), latenciesMs.end());
    result.p50Ms = percentile(latenciesMs, 0.50);
    result.p99Ms = percentile(latenciesMs, 0.99);
    result.maxMs = latenciesMs.back();
    return result;
}
