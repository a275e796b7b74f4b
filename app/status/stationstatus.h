// What the station has done since motelog started, kept for the status file, the metrics
// and the summary line. The reader, the store and the line keeper report to it; any
// thread may take a snapshot.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "motepacket.h"

// Packets waiting for the database and the arrival of the oldest of them.
struct Backlog {
    std::uint64_t packets = 0;
    std::int64_t oldestus = 0;  // microseconds since the epoch; 0 when none waits
};

struct MoteSeen {
    std::int64_t heardus = 0;
    std::vector<std::pair<int, double>>
        readings;  // data_type and converted value, in payload order
};

// Packets that were not stored, by why.
struct Misses {
    std::uint64_t notrecognized = 0;  // "Packet not recognized."
    std::uint64_t sizeincorrect = 0;  // "Packet size incorrect."
    std::uint64_t queries = 0;        // "Query packet received and ignored."
    std::uint64_t spoolfull = 0;      // dropped at the spool's cap or on a full disk
};

struct StatusFigures {
    std::int64_t startedus = 0;
    std::int64_t takenus = 0;  // when this snapshot was taken
    std::string port;          // "COM1 (/dev/ttyUSB0)"
    bool portopen = false;
    std::string portproblem;  // why it is not open, in words
    std::uint64_t portoutages = 0;
    std::int64_t lastpacketus = 0;
    std::uint64_t packetsread = 0;  // whole packets taken off the line
    std::uint64_t packetsstored = 0;
    std::uint64_t readingsstored = 0;
    Misses misses;
    bool spooling = false;  // spool mode
    Backlog backlog;
    bool databasedown = false;
    std::uint64_t databaseoutages = 0;
    std::string lasterror;
    std::int64_t lasterrorus = 0;
    std::string stuck;  // a stage that has not come back, and for how long; empty when none
    std::map<int, MoteSeen> motes;
    bool stopped = false;
};

class StationStatus {
public:
    StationStatus();

    // The port is `port` (its name and device); it opened, or failed with `problem`.
    void portopened(const std::string& port);
    void portfailed(const std::string& port, const std::string& problem);

    // A packet came off the line: null when no packet was recognised.
    void packetread(const MotePacket* packet);
    void stored(const MotePacket& packet);
    void spoolfull();
    void databasefailed(const std::string& error);
    void databaseworked();

    // Spool mode: `backlog` tells what waits in the spool.
    void spooling(std::function<Backlog()> backlog);
    void stuck(const std::string& what);

    StatusFigures snapshot();

private:
    std::mutex mutex_;
    StatusFigures figures_;
    std::function<Backlog()> backlog_;
};

// The process's one status.
StationStatus& station();
