// The insert part of a data packet's trace, shared by the direct store and the spool's
// store.
#pragma once

#include <functional>

#include "motepacket.h"

// "perform insert: " and the line of hyphens.
void traceinsertstart();

// "MOTEID = 0x..., Inserting N entries... ".
void tracemoteline(int moteid, int count);

// Decodes and converts each reading of `packet` in payload order (the light conversion
// traces its counts), traces its "Data_type" line and hands it to `store`; traces the
// block after each reading once `store` has returned.
void traceeachreading(const MotePacket& packet,
                      const std::function<void(int data_type, double value)>& store);

// The whole insert part of a packet whose rows are stored, light counts included.
void tracestoredpacket(const MotePacket& packet);
