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
    // The process stops and the reader has taken in what the line delivered in time.
    bool stopped = false;
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
//
// When the reader is to finish before a stop (see linestop.h), a stop ends the call with
// `stopped` and no packet once the packet under way is complete or its grace has run out
// (cut off as above), and the port holds no further packet.
PacketRead readpacket();
