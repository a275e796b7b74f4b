#include "stationstatements.h"

namespace {

std::string where(const StationId& station) {
    return " WHERE station = '" + stationtext(station) + "'";
}

}  // namespace

std::string positionread(const StationId& station) {
    return "SELECT stored FROM motelog_station" + where(station);
}

std::string positionmove(const StationId& station, std::uint64_t from, std::uint64_t to) {
    return "UPDATE motelog_station SET stored = " + std::to_string(to) + where(station) +
           " AND stored = " + std::to_string(from);
}

std::string positioncreate(const StationId& station, std::uint64_t at) {
    return "INSERT INTO motelog_station (station, stored) VALUES ('" + stationtext(station) +
           "', " + std::to_string(at) + ")";
}
