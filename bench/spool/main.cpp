// Benchmark of motelog's spool mode against the private server that scripts/bench starts:
// a backlog drained, arrival-to-row latency at the line rate, the line rate through a
// proxy that adds 20 ms to each round trip, and a 30 s server outage at the line rate.
// With --motelog-xa, each phase runs that program too (motelog's XA version, built from
// its own tree), right after this one, so that both figures come from one run.
//
//   spool_bench --motelog PATH [--motelog-xa PATH] --socket PATH --tcp-port N
//               --db-server PATH --db-dir DIR --work DIR [--drain-packets N]
//               [--line-seconds N] [--proxy-seconds N] [--outage-seconds N]
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "admin_connection.h"
#include "bench_args.h"
#include "bench_traffic.h"
#include "delay_proxy.h"
#include "machine.h"
#include "password.h"
#include "spool_runs.h"
#include "store_floor.h"

namespace {

void printLine(const std::string& who, const LineResult& r) {
    std::printf(
        "  %s: sent %llu packets; backlog when sending ended: %llu packets; drained %.2f s "
        "later; %s\n",
        who.c_str(), static_cast<unsigned long long>(r.sent),
        static_cast<unsigned long long>(r.backlogPackets), r.drainSeconds,
        tallyText(r.tally).c_str());
    if (!r.failure.empty()) std::printf("  %s: run failed: %s\n", who.c_str(), r.failure.c_str());
    std::fflush(stdout);
}

// The programs to measure, each with its name in the results.
using Programs = std::vector<std::pair<std::string, SpoolSetup>>;

}  // namespace

int main(int argc, char** argv) {
    try {
        const auto args =
            benchArgs(argc, argv,
                      {{"--drain-packets", "50000"},
                       {"--line-seconds", "30"},
                       {"--proxy-seconds", "60"},
                       {"--outage-seconds", "30"},
                       {"--motelog-xa", ""}},
                      {"--motelog", "--socket", "--tcp-port", "--db-server", "--db-dir", "--work"});
        const SpoolSetup setup{args.at("--motelog"), args.at("--work"), args.at("--socket"),
                               args.at("--db-server"), args.at("--db-dir")};
        Programs programs = {{"this version", setup}};
        if (!args.at("--motelog-xa").empty()) {
            SpoolSetup xa = setup;
            xa.motelog = args.at("--motelog-xa");
            programs.push_back({"XA version", xa});
        }
        std::printf("load average at the start: %.2f\n", loadAverage());
        bool failed = false;

        // The direct mode's floor right before the drain, so that both figures come from one run.
        AdminConnection(setup.socket).execute("truncate table marrowby.test_data");
        const FloorResult floor = measureStoreFloor(dbsettingsfromenvironment(buildpassword()),
                                                    rowsOf(benchFrames(4096, false)), 10000,
                                                    std::chrono::seconds(60));
        const double floorRate = static_cast<double>(floor.packets) / floor.seconds;
        std::printf("\n(0) direct mode's floor (connect, 6 template inserts, close per packet):\n"
                    "  %llu packets in %.2f s = %.0f packets/s\n",
                    static_cast<unsigned long long>(floor.packets), floor.seconds, floorRate);

        std::printf(
            "\n(1) backlog of %s journaled 6-reading packets drained into the local server "
            "(trace to a file):\n",
            args.at("--drain-packets").c_str());
        for (const auto& [who, program] : programs) {
            const auto drained = drainBacklog(program, std::stoull(args.at("--drain-packets")),
                                              std::chrono::seconds(120));
            const double rate = static_cast<double>(drained.packets) / drained.seconds;
            std::printf("  %s: %.2f s = %.0f packets/s, %.0f rows/s; %.1f times the floor; %s\n",
                        who.c_str(), drained.seconds, rate, 6 * rate, rate / floorRate,
                        tallyText(drained.tally).c_str());
            if (!drained.failure.empty())
                std::printf("  %s: run failed: %s\n", who.c_str(), drained.failure.c_str());
            failed |= !drained.failure.empty();
            std::fflush(stdout);
        }

        std::printf("\n(2) line rate, 160 packets/s, local socket:\n");
        for (const auto& [who, program] : programs) {
            LinePlan local;
            local.name = "spool-line-rate";
            local.duration = std::chrono::seconds(std::stol(args.at("--line-seconds")));
            local.stampArrivals = true;
            const LineResult line = runLine(program, local);
            printLine(who, line);
            std::printf(
                "  %s: arrival on the line to the packet's last row: p50 %.2f ms, p99 %.2f ms, "
                "max %.2f ms\n",
                who.c_str(), percentile(line.latenciesMs, 0.5), percentile(line.latenciesMs, 0.99),
                line.latenciesMs.empty() ? 0 : line.latenciesMs.back());
            failed |= !line.failure.empty();
            std::fflush(stdout);
        }

        // The schema's account serves local sockets only; a logger across the network gets
        // an account for its own address, here the proxy's.
        {
            AdminConnection admin(setup.socket);
            admin.execute(std::string("CREATE OR REPLACE USER 'quillon'@'127.0.0.1' IDENTIFIED BY '") +
                          buildpassword().data() + "'");
            admin.execute("GRANT INSERT ON marrowby.test_data TO 'quillon'@'127.0.0.1'");
            admin.execute(
                "GRANT SELECT, INSERT, UPDATE ON marrowby.motelog_station TO "
                "'quillon'@'127.0.0.1'");
        }
        DelayProxy proxy(static_cast<std::uint16_t>(std::stoul(args.at("--tcp-port"))),
                         std::chrono::milliseconds(10));
        std::printf(
            "\n(3) line rate, 160 packets/s, through a proxy adding 20 ms to each round trip:\n");
        for (const auto& [who, program] : programs) {
            LinePlan far;
            far.name = "spool-proxy";
            far.duration = std::chrono::seconds(std::stol(args.at("--proxy-seconds")));
            far.settings = {{"MOTELOG_DB_HOST", "127.0.0.1"},
                            {"MYSQL_TCP_PORT", std::to_string(proxy.port())}};
            printLine(who, runLine(program, far));
        }

        const double outage = std::stod(args.at("--outage-seconds"));
        const double downAt = 10, upAt = downAt + outage;
        std::printf(
            "\n(4) line rate, 160 packets/s, the server stopped from second 10 to second %d:\n",
            static_cast<int>(upAt));
        for (const auto& [who, program] : programs) {
            bool down = false, up = false;
            double backAt = 0;
            LinePlan away;
            away.name = "spool-outage";
            away.duration = std::chrono::seconds(static_cast<long>(upAt + 20));
            away.sampleBacklog = true;
            // By the socket alone: the restarted server listens on another TCP port.
            away.settings = {{"MOTELOG_DB_HOST", ""}, {"MYSQL_TCP_PORT", ""}};
            away.atSecond = [&](double at) {
                const std::string server = setup.dbServer + " ";
                if (!down && at >= downAt) {
                    down = std::system((server + "stop " + setup.dbDir).c_str()) == 0;
                } else if (down && !up && at >= upAt) {
                    up = std::system((server + "start " + setup.dbDir + " >/dev/null").c_str()) == 0;
                    backAt = at + 0.1;  // the start returns once the server answers
                }
            };
            const LineResult outageRun = runLine(program, away);
            printLine(who, outageRun);
            double caughtUp = -1;
            std::uint64_t backlogAtReturn = 0;
            for (const auto& sample : outageRun.backlog) {
                if (sample.first >= backAt && backlogAtReturn == 0) backlogAtReturn = sample.second;
                if (sample.first > backAt && sample.second <= 2) {
                    caughtUp = sample.first;
                    break;
                }
            }
            std::printf(
                "  %s: backlog when the server returned: %llu packets; back to at most 2 packets "
                "%.1f s later\n",
                who.c_str(), static_cast<unsigned long long>(backlogAtReturn),
                caughtUp < 0 ? -1.0 : caughtUp - backAt);
            failed |= !outageRun.failure.empty();
        }
        std::printf("\nload average at the end: %.2f\n", loadAverage());
        return failed ? 1 : 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "spool_bench: %s\n", error.what());
        return 1;
    }
}
