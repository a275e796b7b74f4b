// The logger's endless loop over incoming packets.
#pragma once

#include "packetsink.h"

// Reads and classifies packets for ever, handing each one on the insert path to `sink`
// and tracing each step. When the line fails, waits for the port to work again and goes
// on. Returns -1 when the sink fails. When a stop ends the reading (see linestop.h), hands
// the stop on and never returns.
int runloop(PacketSink& sink);
