// Taking mote packets off the serial line.
#pragma once

#include <memory>

#include "motepacket.h"

// Reads the next packet from serialport, which must be set for blocking reads, and
// traces it on standard output. Returns null, having consumed one byte (or two when the
// first was 0x00), when the line does not start with 0x00, 0x7E; otherwise consumes all
// 36 bytes. A failed read leaves 0xDC in the bytes it did not deliver. Also null when
// the packet cannot be allocated, after its 36 bytes have been consumed.
std::unique_ptr<MotePacket> readpacket();
