// End-to-end benchmark of motelog: the database floor, motelog unthrottled on a pty
// (throughput and memory) and motelog at the 57600-baud line rate (backlog and latency),
// against the private server that scripts/bench starts. Every phase bounds its own time.
//
//   end_to_end_bench --motelog PATH --socket PATH --server-pid PID --work DIR
//                    [--packets N] [--window N] [--floor-packets N] [--line-seconds N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>

#include "admin_connection.h"
#include "bench_args.h"
#include "bench_traffic.h"
#include "line_runs.h"
#include "machine.h"
#include "options.h"
#include "password.h"
#include "store_floor.h"

namespace {

using motesim::kLineRatePackets;

void printMachine(AdminConnection& db) {
    std::printf("machine: %s\n", machineDescription().c_str());
    const auto settings = db.rows(
        "select version(), @@innodb_flush_log_at_trx_commit, @@log_bin, @@innodb_doublewrite, "
        "@@sync_binlog, @@innodb_buffer_pool_size div 1048576");
    const auto& s = settings.at(0);
    std::printf("server: MariaDB %s on a unix socket; innodb_flush_log_at_trx_commit=%s, "
                "log_bin=%s, innodb_doublewrite=%s, sync_binlog=%s, buffer pool %s MiB\n",
                s[0].c_str(), s[1].c_str(), s[2] == "1" ? "ON" : "OFF", s[3] == "1" ? "ON" : "OFF",
                s[4].c_str(), s[5].c_str());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const auto args = benchArgs(argc, argv,
                                    {{"--packets", "100000"},
                                     {"--window", "20000"},
                                     {"--floor-packets", "10000"},
                                     {"--line-seconds", "30"}},
                                    {"--motelog", "--socket", "--server-pid", "--work"});
        const auto packets = std::stoull(args.at("--packets"));
        const auto window = std::stoull(args.at("--window"));
        AdminConnection db(args.at("--socket"));
        dropArrivalStamps(db);  // in case an earlier run ended early
        printMachine(db);
        std::fflush(stdout);

        // The floor is measured before and after the logger's run, and the two averaged,
        // so that other load on the machine weighs on both sides alike.
        const DbSettings settings = dbsettingsfromenvironment(buildpassword());
        const auto floorRows = rowsOf(benchFrames(4096, false));
        const auto floorPackets = std::stoull(args.at("--floor-packets"));
        const auto measureFloor = [&] {
            db.execute("truncate table marrowby.test_data");
            const auto floor = measureStoreFloor(settings, floorRows, floorPackets, std::chrono::seconds(60));
            std::printf("  %llu packets in %.2f s = %.0f packets/s, %.0f rows/s\n",
                        static_cast<unsigned long long>(floor.packets), floor.seconds,
                        static_cast<double>(floor.packets) / floor.seconds,
                        6 * static_cast<double>(floor.packets) / floor.seconds);
            std::fflush(stdout);
            return static_cast<double>(floor.packets) / floor.seconds;
        };
        std::printf("\ndatabase floor (connect, 6 template inserts, close; no line, no trace):\n");
        const double floorBefore = measureFloor();

        const RunSetup setup{args.at("--motelog"), args.at("--work"),
                             static_cast<pid_t>(std::stol(args.at("--server-pid")))};
        const auto fast = runUnthrottled(setup, db, packets, window, std::chrono::seconds(300));
        const double floorRate = (floorBefore + measureFloor()) / 2;
        std::printf("  mean %.0f packets/s\n", floorRate);
        const double windowRate = static_cast<double>(window) / fast.windowSeconds;
        const double allRate = static_cast<double>(fast.stored) / fast.allSeconds;
        std::printf("\n(a) motelog unthrottled on a pty, 6 readings a packet, trace to a file:\n");
        if (!fast.failure.empty()) std::printf("  run ended early: %s\n", fast.failure.c_str());
        std::printf("  first %llu packets in %.2f s = %.0f packets/s, %.0f readings/s, %.1f%% of the floor\n"
                    "  all %llu packets in %.2f s = %.0f packets/s, %.0f readings/s (%.1fx the line rate)\n"
                    "  CPU per packet: motelog %.0f us, server %.0f us\n",
                    static_cast<unsigned long long>(window), fast.windowSeconds, windowRate,
                    6 * windowRate, 100 * windowRate / floorRate,
                    static_cast<unsigned long long>(fast.stored), fast.allSeconds, allRate,
                    6 * allRate, allRate / kLineRatePackets,
                    1e6 * fast.loggerCpuSeconds / static_cast<double>(fast.stored),
                    1e6 * fast.serverCpuSeconds / static_cast<double>(fast.stored));
        std::printf("\n(c) motelog's memory while storing them:\n");
        for (const auto& sample : fast.memory)
            std::printf("  after %6llu packets: peak resident %ld kB, resident %ld kB\n",
                        static_cast<unsigned long long>(sample.packets), sample.peakResidentKb,
                        sample.residentKb);
        std::fflush(stdout);

        const auto line = runAtLineRate(setup, db, kLineRatePackets,
                                        std::chrono::seconds(std::stol(args.at("--line-seconds"))));
        std::printf("\n(b) motelog at the line rate, %.0f packets/s for %s s:\n", kLineRatePackets,
                    args.at("--line-seconds").c_str());
        if (!line.failure.empty()) std::printf("  run failed: %s\n", line.failure.c_str());
        std::printf("  sent %llu packets; backlog when sending ended: %llu rows (%.1f packets); "
                    "missing 10 s later: %llu rows\n"
                    "  latency from a packet's last byte on the line to its last row: "
                    "p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    static_cast<unsigned long long>(line.sent),
                    static_cast<unsigned long long>(line.backlogRows),
                    static_cast<double>(line.backlogRows) / 6,
                    static_cast<unsigned long long>(line.missingRows), line.p50Ms, line.p99Ms,
                    line.maxMs);
        return fast.failure.empty() && line.failure.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "end_to_end_bench: %s\n", error.what());
        return 1;
    }
}
