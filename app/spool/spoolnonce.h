// A random number made when a spool directory is first used, kept in DIR/station and never
// rewritten. It tells a spool made anew in the same directory from the one before it, whose
// station row the database still has.
#pragma once

#include <string>

#include "stationid.h"

// The spool's number from DIR/station; made, written and synced when the file is missing
// or damaged. Throws std::system_error naming the file when it cannot be written.
StationId spoolnonce(const std::string& dir);
