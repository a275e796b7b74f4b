// The statements on the companion table marrowby.motelog_station: one row per base station,
// holding the journal position up to which the station's packets are in test_data.
#pragma once

#include <cstdint>
#include <string>

#include "stationid.h"

// The station's stored position: one row, or none for a station new to the server.
std::string positionread(const StationId& station);

// Moves the position from `from` to `to`; changes one row only if the server's position
// is `from`, so that a batch can land once only.
std::string positionmove(const StationId& station, std::uint64_t from, std::uint64_t to);

// The station's row, at position `at`.
std::string positioncreate(const StationId& station, std::uint64_t at);
