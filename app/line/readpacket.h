// Taking mote packets off the serial line.
#pragma once

#include <cstdint>
#include <memory>

#include "motepacket.h"

// What one call of readpacket found.
struct PacketRead {
    std::unique_ptr<MotePacket> packet;  // null when no packet was read
    // The Win32 code of the port's failure when the line failed; 0 otherwise.
    std::int32_t linefailure = 0;
};

// Reads the next packet from serialport, which must be set for blocking reads, and
// traces it on standard output.
//
// No packet and no failure: the line did not start with 0x00, 0x7E. The call consumed
// one byte, or two when the first was 0x00; a second byte that is itself 0x00 is kept as
// the first start byte of the next call. Also no packet when it cannot be allocated,
// after its 36 bytes have been consumed.
//
// A failed read (or one that ended short) ends the call with the port's code in
// linefailure and no packet: bytes of a packet cut off that way are dropped, and its
// trace is ended with "cut off.\n" in place of "done.\n".
PacketRead readpacket();
