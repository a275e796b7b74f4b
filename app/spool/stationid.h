// The base station's name in the database's companion table: unique per machine and spool
// directory, the same across restarts, and different on two machines booted from one
// image (each has its own /etc/machine-id).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

using StationId = std::array<std::uint8_t, 16>;

// The id of the spool in `dir` on this machine: the machine id, keyed for motelog, mixed
// with the directory's canonical path. None where the machine has no machine id.
std::optional<StationId> machinestationid(const std::string& dir);

// A random id, for a machine without a machine id.
StationId randomstationid();

// 32 lower-case hex digits.
std::string stationtext(const StationId& id);

bool isnone(const StationId& id);
