// The logger's endless loop over incoming packets.
#pragma once

#include "dbsettings.h"

// Reads, classifies and stores packets for ever; standard output is flushed after each.
// When the line fails, waits for the port to work again and goes on.
// Returns -1 after a database failure, with packetlock() left held so that a stop
// arriving meanwhile cannot turn the failure into a clean exit.
int runloop(const DbSettings& settings);
