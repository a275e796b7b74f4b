#include "cluster_runs.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "admin_connection.h"
#include "options.h"
#include "process_stats.h"

namespace {

using motesim::kLineRatePackets;
constexpr int Readings = 6;
constexpr std::uint16_t DrainType = 0x200;
constexpr std::uint16_t StationType = 0x100;  // + the station's number

// Data types from 4 up are stored raw, so the rows tell the packets' senders apart.
motesim::Frame frame(std::uint16_t mote, std::uint16_t type) {
    return motesim::encodeDataFrame(mote, std::vector<motesim::SimReading>(Readings, {type, mote}));
}

// A root connection to the first node of `db` that answers.
std::unique_ptr<AdminConnection> connect(const Database& db) {
    std::string failures;
    for (const std::string& socket : db.sockets) {
        try {
            auto connection = std::make_unique<AdminConnection>(socket);
            if (db.sockets.size() > 1) connection->execute("SET SESSION wsrep_sync_wait = 1");
            return connection;
        } catch (const std::exception& error) {
            failures += std::string(" ") + error.what() + ";";
        }
    }
    throw std::runtime_error(db.name + " does not answer:" + failures);
}

void clear(const Database& db) { connect(db)->execute("TRUNCATE TABLE marrowby.test_data"); }

// Motes 1 to `packets` of data type `type`, six rows each when stored once.
Tally tally(const Database& db, std::uint16_t type, std::uint64_t packets) {
    Tally result;
    std::uint64_t seen = 0;
    for (const auto& row : connect(db)->rows("SELECT moteid, COUNT(*) FROM marrowby.test_data WHERE data_type = " +
                                             std::to_string(type) + " GROUP BY moteid")) {
        const auto rows = std::stoi(row[1]);
        ++seen;
        if (rows < Readings) ++result.lost;
        if (rows > Readings) ++result.duplicated;
    }
    result.lost += packets - std::min(packets, seen);
    return result;
}

// Reads the traces while waiting: until `done()` holds or `limit` has passed.
template <typename Done>
bool followUntil(std::vector<Station*> stations, Done done, double limit) {
    const double end = steadySeconds() + limit;
    for (;;) {
        for (Station* station : stations) station->trace().poll(steadySeconds());
        if (done()) return true;
        if (steadySeconds() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string failureOf(Station& station, const std::string& what) {
    return what + (station.firstError().empty() ? "" : "; motelog said first: " + station.firstError());
}

// The cluster's nodes' process ids, from their pid files.
std::vector<pid_t> nodePids(const BenchSetup& setup, std::size_t nodes) {
    std::vector<pid_t> pids;
    for (std::size_t node = 1; node <= nodes; ++node) {
        pid_t pid = 0;
        std::ifstream(setup.clusterDir + "/node" + std::to_string(node) + "/mysqld.pid") >> pid;
        pids.push_back(pid);
    }
    return pids;
}

// `scripts/db-cluster COMMAND DIR [NODE]`: its output's first number, -1 when it failed.
int clusterScript(const BenchSetup& setup, const std::string& command, int node = 0) {
    const std::string line = setup.dbCluster + " " + command + " " + setup.clusterDir +
                             (node ? " " + std::to_string(node) : std::string()) + " 2>/dev/null";
    FILE* output = popen(line.c_str(), "r");
    if (!output) return -1;
    int number = 0;
    if (std::fscanf(output, "%d", &number) != 1) number = 0;
    return pclose(output) == 0 ? number : -1;
}

// The hosts of a comma-separated list, starting at the `first`-th.
std::string rotated(const std::string& list, std::size_t first) {
    std::vector<std::string> hosts;
    std::istringstream in(list);
    for (std::string host; std::getline(in, host, ',');) hosts.push_back(host);
    std::string result;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        result += (i ? "," : "") + hosts[(first + i) % hosts.size()];
    return result;
}

// The stalls in `backlog` (second of the run, packets waiting) from `from` to `until`, in
// seconds after `from`.
std::vector<Stall> stallsOf(const std::vector<std::pair<double, std::uint64_t>>& backlog, double from,
                            double until) {
    std::vector<Stall> stalls;
    std::optional<Stall> open;
    const auto close = [&](double to) {
        if (open && (to < 0 ? until : from + to) - (from + open->from) >= 0.5) {
            open->to = to;
            stalls.push_back(*open);
        }
        open.reset();
    };
    for (const auto& [at, waiting] : backlog) {
        if (at < from || at >= until) continue;
        if (waiting > 2) {
            if (!open) open = Stall{at - from, -1, 0};
            open->peak = std::max(open->peak, waiting);
        } else if (open) {
            close(at - from);
        }
    }
    close(-1);
    return stalls;
}

}  // namespace

DrainResult drainInto(const BenchSetup& setup, const Database& db, std::uint64_t packets,
                      std::chrono::seconds limit) {
    DrainResult result;
    result.packets = packets;
    clear(db);
    const std::string name = "drain-" + std::to_string(db.sockets.size());
    {
        Station journaling(setup.motelog, setup.workDir, name,
                           {{"MOTELOG_DB_HOST", "localhost"}, {"MYSQL_UNIX_PORT", setup.workDir + "/absent.sock"}});
        if (!journaling.waitForReader(std::chrono::seconds(10))) {
            result.failure = failureOf(journaling, "motelog did not open its line");
            return result;
        }
        for (std::uint64_t i = 0; i < packets; ++i)
            if (journaling.send(frame(static_cast<std::uint16_t>(i + 1), DrainType)) < 0) break;
        if (!followUntil({&journaling}, [&] { return journaling.trace().headers() >= packets; }, 120)) {
            result.failure = failureOf(journaling, "motelog did not read every packet");
            return result;
        }
        journaling.stop();
    }
    Station draining(setup.motelog, setup.workDir, name, {{"MOTELOG_DB_HOST", db.host}}, true);
    const double start = steadySeconds();
    const bool drained = followUntil(
        {&draining}, [&] { return draining.trace().stored() >= packets || !draining.running(); },
        static_cast<double>(limit.count()));
    result.seconds = steadySeconds() - start;
    if (!drained || draining.trace().stored() < packets)
        result.failure = failureOf(draining, std::to_string(draining.trace().stored()) + " of " +
                                                 std::to_string(packets) + " packets stored");
    draining.stop();
    result.tally = tally(db, DrainType, packets);
    return result;
}

StationsResult runStations(const BenchSetup& setup, const Database& cluster, int stations,
                           std::chrono::seconds duration) {
    StationsResult result;
    clear(cluster);
    std::vector<std::unique_ptr<Station>> running;
    std::vector<Station*> all;
    for (int s = 0; s < stations; ++s) {
        running.push_back(std::make_unique<Station>(
            setup.motelog, setup.workDir, "station-" + std::to_string(s + 1),
            Settings{{"MOTELOG_DB_HOST", rotated(cluster.host, static_cast<std::size_t>(s))}}));
        all.push_back(running.back().get());
    }
    for (Station* station : all)
        if (!station->waitForReader(std::chrono::seconds(10))) {
            result.failure = failureOf(*station, "motelog did not open its line");
            return result;
        }

    const auto nodes = nodePids(setup, cluster.sockets.size());
    const auto cpuNow = [&] {
        std::vector<double> seconds;
        double motelogs = 0;
        for (Station* station : all) motelogs += processStats(station->pid()).cpuSeconds;
        seconds.push_back(motelogs);
        for (pid_t pid : nodes) seconds.push_back(processStats(pid).cpuSeconds);
        return seconds;
    };
    const auto cpuBefore = cpuNow();

    const auto packets = static_cast<std::uint64_t>(kLineRatePackets * static_cast<double>(duration.count()));
    std::vector<std::vector<double>> writtenAt(all.size(), std::vector<double>(packets, -1));
    const double start = steadySeconds();
    for (std::uint64_t i = 0; i < packets; ++i) {
        for (std::size_t s = 0; s < all.size(); ++s)
            writtenAt[s][i] = all[s]->send(frame(static_cast<std::uint16_t>(i + 1),
                                                 static_cast<std::uint16_t>(StationType + s)));
        ++result.sent;
        const double next = start + static_cast<double>(i + 1) / kLineRatePackets;
        followUntil(all, [&] { return steadySeconds() >= next; }, 1);
    }
    result.sendingSeconds = steadySeconds() - start;
    const auto cpuAfter = cpuNow();
    result.cpu.push_back({"motelogs (" + std::to_string(stations) + ")", cpuAfter[0] - cpuBefore[0]});
    for (std::size_t n = 1; n < cpuAfter.size(); ++n)
        result.cpu.push_back({"node " + std::to_string(n), cpuAfter[n] - cpuBefore[n]});

    const auto allStored = [&] {
        return std::all_of(all.begin(), all.end(), [&](Station* s) { return s->trace().stored() >= result.sent; });
    };
    if (!followUntil(all, allStored, 60)) result.failure = failureOf(*all.front(), "not every packet was stored");
    for (std::size_t s = 0; s < all.size(); ++s)
        for (std::uint64_t i = 0; i < result.sent; ++i) {
            const double stored = all[s]->trace().storedAt(static_cast<std::uint16_t>(i + 1));
            if (stored >= 0 && writtenAt[s][i] >= 0) result.latenciesMs.push_back(1000 * (stored - writtenAt[s][i]));
        }
    std::sort(result.latenciesMs.begin(), result.latenciesMs.end());
    for (Station* station : all) station->stop();
    for (std::size_t s = 0; s < all.size(); ++s) {
        const Tally one = tally(cluster, static_cast<std::uint16_t>(StationType + s), result.sent);
        result.tally.lost += one.lost;
        result.tally.duplicated += one.duplicated;
    }
    return result;
}

KillsResult runKills(const BenchSetup& setup, const Database& cluster, std::chrono::seconds duration,
                     std::chrono::seconds every) {
    KillsResult result;
    clear(cluster);
    Station station(setup.motelog, setup.workDir, "kills", {{"MOTELOG_DB_HOST", cluster.host}});
    if (!station.waitForReader(std::chrono::seconds(10))) {
        result.failure = failureOf(station, "motelog did not open its line");
        return result;
    }
    std::thread killer;
    std::atomic<bool> killing{false};
    std::vector<std::pair<double, std::uint64_t>> backlog;  // (second of the run, packets waiting)
    const auto packets = static_cast<std::uint64_t>(kLineRatePackets * static_cast<double>(duration.count()));
    const double start = steadySeconds();
    double nextKill = static_cast<double>(every.count());
    for (std::uint64_t i = 0; i < packets; ++i) {
        const double at = steadySeconds() - start;
        if (at >= nextKill && !killing) {
            // The kill, and the restart that follows it, on a thread of their own.
            if (killer.joinable()) killer.join();
            nextKill += static_cast<double>(every.count());
            killing = true;
            result.kills.push_back({});
            killer = std::thread([&setup, &result, &killing, start] {
                Kill& kill = result.kills.back();
                kill.node = clusterScript(setup, "serving");
                // The signal ends the node at once; its process may take a second to be gone.
                const double signalled = steadySeconds() - start;
                if (kill.node > 0 && clusterScript(setup, "kill", kill.node) == 0) {
                    kill.at = signalled;
                    if (clusterScript(setup, "restart", kill.node) == 0)
                        kill.rejoined = steadySeconds() - start - signalled;
                }
                killing = false;
            });
        }
        if (station.send(frame(static_cast<std::uint16_t>(i + 1), StationType)) < 0) break;
        ++result.sent;
        const double next = start + static_cast<double>(i + 1) / kLineRatePackets;
        followUntil({&station}, [&] { return steadySeconds() >= next; }, 1);
        backlog.emplace_back(steadySeconds() - start, result.sent - station.trace().stored());
    }
    const bool stored = followUntil(
        {&station},
        [&] {
            const std::uint64_t waiting = result.sent - station.trace().stored();
            backlog.emplace_back(steadySeconds() - start, waiting);
            return waiting == 0;
        },
        60);
    if (killer.joinable()) killer.join();
    if (!stored) result.failure = failureOf(station, "not every packet was stored");
    station.stop();

    for (std::size_t k = 0; k < result.kills.size(); ++k) {
        Kill& kill = result.kills[k];
        if (kill.at <= 0) continue;
        const double until = k + 1 < result.kills.size() && result.kills[k + 1].at > 0
                                 ? result.kills[k + 1].at
                                 : backlog.back().first + 1;
        kill.stalls = stallsOf(backlog, kill.at, until);
    }
    result.tally = tally(cluster, StationType, result.sent);
    return result;
}
