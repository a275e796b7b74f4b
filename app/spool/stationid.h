// The base station's name in the database's companion table: unique per machine and spool
// directory, the same across restarts, different on two machines booted from one image
// (each has its own /etc/machine-id), and different for a spool made anew in a directory.
#pragma once

#include <array>
#include <cstdint>
#include <string>

using StationId = std::array<std::uint8_t, 16>;

// The id of the spool in `dir` on this machine: the machine id, keyed for motelog, mixed
// with the directory's canonical path and the spool's own random `nonce`. Without a
// machine id, the path and the nonce alone.
StationId stationidof(const std::string& dir, const StationId& nonce);

// A random id.
StationId randomstationid();

// 32 lower-case hex digits.
std::string stationtext(const StationId& id);

bool isnone(const StationId& id);
