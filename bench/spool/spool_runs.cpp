#include "spool_runs.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

#include "bench_traffic.h"
#include "arrivalclock.h"
#include "journal.h"
#include "pty_line.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t Readings = 6;
constexpr std::uint64_t MoteIds = 65535;  // numbered frames' ids wrap after this

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string freshSpool(const SpoolSetup& setup, const std::string& name) {
    const std::string dir = setup.workDir + "/" + name + ".spool";
    std::filesystem::remove_all(dir);
    return dir;
}

// The count of `query`, or none while the server is away.
std::uint64_t countOf(const SpoolSetup& setup, const std::string& query) {
    try {
        return std::stoull(AdminConnection(setup.socket).scalar(query));
    } catch (const std::exception&) {
        return 0;
    }
}

// Rows in the table, counted: logid leaves gaps where a batch was rolled back (a server
// stopped mid-batch).
std::uint64_t storedRows(const SpoolSetup& setup) {
    return countOf(setup, "select count(*) from marrowby.test_data");
}

// Packets among the first `sent` numbered frames that carry mote id `moteid`.
std::uint64_t packetsOfMote(std::uint64_t sent, std::uint64_t moteid) {
    return sent / MoteIds + (moteid - 1 < sent % MoteIds ? 1 : 0);
}

// Whether the last of `sent` numbered packets has its rows: the store commits its batches
// in journal order, so then every packet before it has been stored too. Cheap through the
// mote_time index, however large the table.
bool lastPacketStored(const SpoolSetup& setup, std::uint64_t sent) {
    const std::uint64_t last = (sent - 1) % MoteIds + 1;
    return countOf(setup, "select count(*) from marrowby.test_data where moteid = " +
                              std::to_string(last)) >= Readings * packetsOfMote(sent, last);
}

// Each of `sent` numbered packets' rows against six per packet.
Tally tallyPackets(const SpoolSetup& setup, std::uint64_t sent) {
    Tally tally;
    std::uint64_t seen = 0;
    AdminConnection db(setup.socket);
    for (const auto& row :
         db.rows("select moteid, count(*) from marrowby.test_data group by moteid")) {
        const std::uint64_t moteid = std::stoull(row[0]), rows = std::stoull(row[1]);
        const std::uint64_t expected =
            moteid >= 1 && moteid <= MoteIds ? packetsOfMote(sent, moteid) : 0;
        seen += std::min(expected, rows / Readings);
        if (rows > Readings * expected)
            tally.duplicated += (rows - Readings * expected + Readings - 1) / Readings;
    }
    tally.lost = sent - std::min(sent, seen);
    return tally;
}

// motelog with a spool on a pty of its own; the settings are its environment for the run.
struct SpooledLogger {
    SpooledLogger(const SpoolSetup& setup, const std::string& name, const std::string& spool,
                  const Settings& settings, const std::atomic<bool>& stop)
        : line([this, &stop] { return stop.load() || !logger->running(); }) {
        Settings all = settings;
        all.emplace_back("MOTELOG_SPOOL", spool);
        logger = std::make_unique<LoggerProcess>(setup.motelog, line.farEndPath(),
                                                 setup.workDir + "/" + name + ".trace",
                                                 setup.workDir + "/" + name + ".err", all);
    }

    motesim::PtyLine line;
    std::unique_ptr<LoggerProcess> logger;  // goes first, while its line is still there
};

void stampArrivals(AdminConnection& db) {
    db.execute("create or replace table marrowby.bench_arrival (moteid int, arrived decimal(17,6))");
    db.execute(
        "create or replace trigger marrowby.bench_stamp after insert on marrowby.test_data "
        "for each row insert into marrowby.bench_arrival values (new.moteid, "
        "unix_timestamp(sysdate(6)))");
}

}  // namespace

DrainResult drainBacklog(const SpoolSetup& setup, std::uint64_t packets, std::chrono::seconds limit) {
    DrainResult result;
    result.packets = packets;
    AdminConnection(setup.socket).execute("truncate table marrowby.test_data");
    const std::string spool = freshSpool(setup, "drain");
    std::filesystem::create_directories(spool);
    {
        Journal journal(spool, std::uint64_t{1} << 30, 0, std::cerr);
        const auto frames = benchFrames(packets, true);
        for (const auto& frame : frames) {
            MotePacket packet{};
            std::copy(frame.begin(), frame.end(), reinterpret_cast<std::uint8_t*>(&packet));
            packet.address = PacketAddress;  // the line sends it high byte first
            journal.append(arrivalnow(), packet);
        }
    }
    std::atomic<bool> stop{false};
    const auto start = Clock::now();
    SpooledLogger run(setup, "drain", spool, {}, stop);
    while (!lastPacketStored(setup, packets)) {
        if (!run.logger->running()) {
            result.failure = "motelog ended; see " + setup.workDir + "/drain.err";
            break;
        }
        if (Clock::now() - start > limit) {
            result.failure = "time limit reached";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    result.seconds = seconds(Clock::now() - start);
    stop = true;
    run.logger->stop();
    result.tally = tallyPackets(setup, packets);
    return result;
}

LineResult runLine(const SpoolSetup& setup, const LinePlan& plan) {
    LineResult result;
    {
        AdminConnection db(setup.socket);
        db.execute("truncate table marrowby.test_data");
        if (plan.stampArrivals) stampArrivals(db);
    }
    const auto packets =
        static_cast<std::size_t>(plan.packetsPerSecond * static_cast<double>(plan.duration.count()));
    const auto frames = benchFrames(packets, true);
    std::vector<double> writtenAt(packets);
    std::atomic<bool> stop{false};
    SpooledLogger run(setup, plan.name, freshSpool(setup, plan.name), plan.settings, stop);
    if (!run.line.waitForReader(std::chrono::seconds(10))) {
        result.failure = "motelog did not open the line";
        return result;
    }
    const auto start = Clock::now();
    double lastEvent = -1;
    for (std::size_t i = 0; i < packets; ++i) {
        const double at = static_cast<double>(i) / plan.packetsPerSecond;
        if (at - lastEvent >= 0.1) {
            lastEvent = at;
            if (plan.atSecond) plan.atSecond(at);
            if (plan.sampleBacklog)
                result.backlog.push_back({at, i - std::min<std::uint64_t>(i, storedRows(setup) / Readings)});
        }
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(at)));
        if (!run.line.send(frames[i].data(), frames[i].size())) break;
        writtenAt[i] = wallSeconds();
        ++result.sent;
    }
    const auto ended = Clock::now();
    const std::uint64_t expected = result.sent * Readings;
    result.backlogPackets = (expected - std::min(expected, storedRows(setup))) / Readings;
    const auto grace = ended + plan.grace;
    while (storedRows(setup) < expected && Clock::now() < grace && run.logger->running())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    result.drainSeconds = seconds(Clock::now() - ended);
    stop = true;
    run.logger->stop();
    result.tally = tallyPackets(setup, result.sent);

    if (plan.stampArrivals) {
        AdminConnection db(setup.socket);
        for (const auto& row : db.rows("select moteid, max(arrived) from marrowby.bench_arrival "
                                       "group by moteid order by moteid")) {
            const auto index = static_cast<std::size_t>(std::stoul(row[0]) - 1);
            if (index < result.sent) result.latenciesMs.push_back((std::stod(row[1]) - writtenAt[index]) * 1000);
        }
        db.execute("drop trigger if exists marrowby.bench_stamp");
        db.execute("drop table if exists marrowby.bench_arrival");
        std::sort(result.latenciesMs.begin(), result.latenciesMs.end());
    }
    return result;
}
