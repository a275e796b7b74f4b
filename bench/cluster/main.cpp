// Benchmark of motelog's spool mode against the private Galera cluster and the private
// server that `scripts/bench cluster` starts: a backlog drained into each, several base
// stations at the line rate into the cluster, and the line rate while the node that
// serves motelog is killed again and again.
//
//   cluster_bench --motelog PATH --work DIR --server-socket PATH --db-cluster PATH
//                 --cluster-dir DIR --cluster-hosts LIST [--drain-packets N] [--stations N]
//                 [--station-seconds N] [--kill-seconds N] [--kill-every N]
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "admin_connection.h"
#include "bench_args.h"
#include "cluster_runs.h"
#include "machine.h"

namespace {

void printTally(const Tally& tally) { std::printf("  %s\n", tallyText(tally).c_str()); }

void printFailure(const std::string& failure) {
    if (!failure.empty()) std::printf("  run failed: %s\n", failure.c_str());
    std::fflush(stdout);
}

double rate(const DrainResult& drain) { return static_cast<double>(drain.packets) / drain.seconds; }

}  // namespace

int main(int argc, char** argv) {
    try {
        const auto args = benchArgs(argc, argv,
                                    {{"--drain-packets", "50000"},
                                     {"--stations", "8"},
                                     {"--station-seconds", "60"},
                                     {"--kill-seconds", "75"},
                                     {"--kill-every", "15"}},
                                    {"--motelog", "--work", "--server-socket", "--db-cluster", "--cluster-dir",
                                     "--cluster-hosts"});
        const BenchSetup setup{args.at("--motelog"), args.at("--work"), args.at("--db-cluster"),
                               args.at("--cluster-dir")};
        int nodes = 0;
        std::ifstream(setup.clusterDir + "/nodes") >> nodes;
        Database cluster{std::to_string(nodes) + "-node cluster", {}, args.at("--cluster-hosts")};
        for (int node = 1; node <= nodes; ++node)
            cluster.sockets.push_back(setup.clusterDir + "/node" + std::to_string(node) + "/mysqld.sock");
        const Database server{"one server", {args.at("--server-socket")}, "localhost"};

        std::printf("machine: %s\n", machineDescription().c_str());
        const auto version = AdminConnection(cluster.sockets.front()).rows(
            "SELECT VERSION(), (SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME = "
            "'WSREP_PROVIDER_VERSION'), @@innodb_flush_log_at_trx_commit");
        std::printf("servers: MariaDB %s, Galera %s, innodb_flush_log_at_trx_commit=%s on every node and the "
                    "single server; motelog reaches the cluster by MOTELOG_DB_HOST=%s\n",
                    version[0][0].c_str(), version[0][1].c_str(), version[0][2].c_str(),
                    args.at("--cluster-hosts").c_str());
        std::printf("load average at the start: %.2f\n", loadAverage());
        std::fflush(stdout);

        const auto packets = std::stoull(args.at("--drain-packets"));
        const auto limit = std::chrono::seconds(120);
        const DrainResult intoServer = drainInto(setup, server, packets, limit);
        const DrainResult intoCluster = drainInto(setup, cluster, packets, limit);
        std::printf("\n(1) backlog of %llu journaled 6-reading packets drained, from motelog's start to the last "
                    "packet traced as stored:\n",
                    static_cast<unsigned long long>(packets));
        for (const DrainResult* drain : {&intoServer, &intoCluster}) {
            std::printf("  into %s: ", (drain == &intoServer ? server : cluster).name.c_str());
            if (drain->failure.empty())
                std::printf("%.2f s = %.0f packets/s, %.0f rows/s\n", drain->seconds, rate(*drain), 6 * rate(*drain));
            else
                std::printf("did not finish in %.0f s\n", drain->seconds);
            printTally(drain->tally);
            printFailure(drain->failure);
        }
        if (intoServer.failure.empty() && intoCluster.failure.empty())
            std::printf("  into the cluster at %.2f times the single server's rate (target: at least 5,000 "
                        "packets/s into the cluster)\n",
                        rate(intoCluster) / rate(intoServer));

        const int stations = std::stoi(args.at("--stations"));
        const StationsResult many =
            runStations(setup, cluster, stations, std::chrono::seconds(std::stol(args.at("--station-seconds"))));
        std::printf("\n(2) %d base stations at 160 packets/s each into the cluster for %s s (given the list of "
                    "nodes, each starts it at another node):\n  sent %llu packets each\n",
                    stations, args.at("--station-seconds").c_str(), static_cast<unsigned long long>(many.sent));
        printTally(many.tally);
        std::printf("  arrival on the line to the trace after commit: p50 %.1f ms, p99 %.1f ms, max %.1f ms "
                    "over %zu packets\n",
                    percentile(many.latenciesMs, 0.5), percentile(many.latenciesMs, 0.99),
                    many.latenciesMs.empty() ? 0 : many.latenciesMs.back(), many.latenciesMs.size());
        std::printf("  CPU over the %.1f s of sending (the machine has %.0f core-seconds):", many.sendingSeconds,
                    many.sendingSeconds * static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN)));
        for (const CpuShare& share : many.cpu) std::printf(" %s %.1f s;", share.who.c_str(), share.seconds);
        std::printf("\n");
        printFailure(many.failure);

        const KillsResult kills = runKills(setup, cluster, std::chrono::seconds(std::stol(args.at("--kill-seconds"))),
                                           std::chrono::seconds(std::stol(args.at("--kill-every"))));
        std::printf("\n(3) one base station at 160 packets/s for %s s, the node that commits its packets killed "
                    "every %s s and restarted:\n  sent %llu packets\n",
                    args.at("--kill-seconds").c_str(), args.at("--kill-every").c_str(),
                    static_cast<unsigned long long>(kills.sent));
        printTally(kills.tally);
        for (const Kill& kill : kills.kills) {
            if (kill.at <= 0) {
                std::printf("  a kill found no node committing motelog's packets\n");
                continue;
            }
            std::printf("  node %d killed at %.1f s, ", kill.node, kill.at);
            if (kill.rejoined < 0)
                std::printf("did not rejoin;");
            else
                std::printf("synced again %.1f s later;", kill.rejoined);
            if (kill.stalls.empty()) std::printf(" no packets waited");
            for (const Stall& stall : kill.stalls) {
                std::printf(" up to %llu packets waited from %.1f s after the kill ",
                            static_cast<unsigned long long>(stall.peak), stall.from);
                if (stall.to < 0)
                    std::printf("to the end of the run;");
                else
                    std::printf("until %.1f s;", stall.to);
            }
            std::printf("\n");
        }
        printFailure(kills.failure);
        std::printf("\nload average at the end: %.2f\n", loadAverage());
        const bool failed = !intoServer.failure.empty() || !intoCluster.failure.empty() || !many.failure.empty() ||
                            !kills.failure.empty();
        return failed ? 1 : 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cluster_bench: %s\n", error.what());
        return 1;
    }
}
