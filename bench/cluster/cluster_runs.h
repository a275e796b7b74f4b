// The cluster benchmark's runs: a backlog drained into one server and into the cluster,
// several base stations at the line rate into the cluster, and the line rate while the
// node that serves motelog is killed again and again. Every run counts each packet's
// rows in the end: a packet has six readings, so six rows when it was stored once.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "run_figures.h"
#include "station.h"

// Where rows go, read as root through the sockets of its nodes (one for a single server);
// a cluster is read at the first node that answers, after its commits have all arrived.
struct Database {
    std::string name;
    std::vector<std::string> sockets;
    std::string host;  // MOTELOG_DB_HOST, what points motelog at it
};

struct BenchSetup {
    std::string motelog;    // the program
    std::string workDir;    // spools, traces and error files
    std::string dbCluster;  // scripts/db-cluster
    std::string clusterDir;
};

struct DrainResult {
    std::uint64_t packets = 0;
    double seconds = 0;  // from motelog's start to the last packet traced as stored
    Tally tally;
    std::string failure;
};

// Journals `packets` packets into a fresh spool with no database reachable, then starts
// motelog on it against `db` and times the drain.
DrainResult drainInto(const BenchSetup& setup, const Database& db, std::uint64_t packets,
                      std::chrono::seconds limit);

struct CpuShare {
    std::string who;
    double seconds = 0;
};

struct StationsResult {
    std::uint64_t sent = 0;
    Tally tally;
    std::vector<double> latenciesMs;  // sorted; from the write to the line to the trace after commit
    std::vector<CpuShare> cpu;        // over the sending time
    double sendingSeconds = 0;
    std::string failure;
};

// `stations` motelogs, each at 160 packets/s for `duration`, each with the list of the
// cluster's nodes starting at another node.
StationsResult runStations(const BenchSetup& setup, const Database& cluster, int stations,
                           std::chrono::seconds duration);

// A stretch of at least half a second in which more than 2 packets waited to be stored.
struct Stall {
    double from = 0;         // seconds after the kill
    double to = -1;          // when at most 2 waited again; negative: not before the run ended
    std::uint64_t peak = 0;  // packets waiting at most
};

struct Kill {
    double at = 0;  // seconds into the run
    int node = 0;
    double rejoined = -1;       // seconds from the kill until the node was synced again
    std::vector<Stall> stalls;  // from the kill to the next one
};

struct KillsResult {
    std::uint64_t sent = 0;
    Tally tally;
    std::vector<Kill> kills;
    std::string failure;
};

// One motelog at 160 packets/s for `duration`; every `every` the node that commits its
// packets is killed and then restarted.
KillsResult runKills(const BenchSetup& setup, const Database& cluster, std::chrono::seconds duration,
                     std::chrono::seconds every);
