// The insert part of a data packet's trace, shared by the direct store and the spool's
// store.
#pragma once

#include <functional>

#include "motepacket.h"

// "perform insert: " and the line of hyphens.
void traceinsertstart();

// "MOTEID = 0x..., Inserting N entries... ".
void tracemoteline(int moteid, int count);

// The reading's "Data_type" line.
void tracereading(int data_type, unsigned raw, double value);

// The block after a reading's row is stored, down to "data_value=".
void traceinserted(int moteid, int data_type, double value);

// Decodes and converts each reading of `packet` in payload order (the light conversion
// traces its counts), traces its "Data_type" line and hands it to `store`; traces the
// block after each reading once `store` has returned.
void traceeachreading(const MotePacket& packet,
                      const std::function<void(int data_type, double value)>& store);

// The whole insert part of a packet whose rows are stored, light counts included.
void tracestoredpacket(const MotePacket& packet);
