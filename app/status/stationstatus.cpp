#include "stationstatus.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "conversions.h"
#include "wallclock.h"

namespace {

// A test seam: with MOTELOG_TEST_WEDGE_MOTE=N, a data packet of mote N never lets the
// reader loop come back, as a step that hangs would.
void wedgeifasked(int moteid) {
    static const char* const wedged = std::getenv("MOTELOG_TEST_WEDGE_MOTE");
    if (!wedged || std::atoi(wedged) != moteid) return;
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

StationStatus::StationStatus() { figures_.startedus = wallclockus(); }

void StationStatus::portopened(const std::string& port) {
    const std::lock_guard<std::mutex> guard(mutex_);
    figures_.port = port;
    figures_.portopen = true;
    figures_.portproblem.clear();
}

void StationStatus::portfailed(const std::string& port, const std::string& problem) {
    const std::lock_guard<std::mutex> guard(mutex_);
    figures_.port = port;
    figures_.portopen = false;
    figures_.portproblem = problem;
    ++figures_.portoutages;
}

void StationStatus::packetread(const MotePacket* packet) {
    const std::int64_t now = wallclockus();
    const bool data = packet && packet->len != 0 && packet->packettype != QueryPacketType;
    MoteSeen seen{now, {}};
    for (int i = 0; data && i < readingcount(*packet); ++i) {
        const Reading reading = readingat(*packet, i);
        const int data_type = decodedatatype(reading);
        seen.readings.emplace_back(data_type, readingvalue(data_type, decodedatavalue(reading)));
    }
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (!packet) {
            ++figures_.misses.notrecognized;
            return;
        }
        ++figures_.packetsread;
        figures_.lastpacketus = now;
        if (packet->len == 0)
            ++figures_.misses.sizeincorrect;
        else if (packet->packettype == QueryPacketType)
            ++figures_.misses.queries;
        else
            figures_.motes[decodemoteid(*packet)] = std::move(seen);
    }
    if (data) wedgeifasked(decodemoteid(*packet));
}

void StationStatus::stored(const MotePacket& packet) {
    const std::lock_guard<std::mutex> guard(mutex_);
    ++figures_.packetsstored;
    figures_.readingsstored += static_cast<std::uint64_t>(readingcount(packet));
}

void StationStatus::spoolfull() {
    const std::lock_guard<std::mutex> guard(mutex_);
    ++figures_.misses.spoolfull;
}

void StationStatus::databasefailed(const std::string& error) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!figures_.databasedown) ++figures_.databaseoutages;
    figures_.databasedown = true;
    figures_.lasterror = error;
    figures_.lasterrorus = wallclockus();
}

void StationStatus::databaseworked() {
    const std::lock_guard<std::mutex> guard(mutex_);
    figures_.databasedown = false;
}

void StationStatus::spooling(std::function<Backlog()> backlog) {
    const std::lock_guard<std::mutex> guard(mutex_);
    figures_.spooling = true;
    backlog_ = std::move(backlog);
}

void StationStatus::stuck(const std::string& what) {
    const std::lock_guard<std::mutex> guard(mutex_);
    figures_.stuck = what;
}

StatusFigures StationStatus::snapshot() {
    std::function<Backlog()> backlog;
    StatusFigures figures;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        figures = figures_;
        backlog = backlog_;
    }
    // Outside the lock: the query reads the journal, and the store must not wait for it.
    if (backlog) figures.backlog = backlog();
    figures.takenus = wallclockus();
    return figures;
}

StationStatus& station() {
    // Never destroyed: threads report to it while the process exits.
    static auto* status = new StationStatus;
    return *status;
}
