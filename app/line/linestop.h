// A stop that lets the reader finish first, for the spool mode: on SIGTERM or SIGINT the
// reader completes the packet it is partway through if the rest comes within PartPacketGrace
// (at the line rate it comes within milliseconds), takes in every packet that the port has
// already read ahead, and only then lets the stop end the process.
//
// The reader is never blocked for long: while no stop is asked for it waits for each byte
// in slices of ReadSlice, so it sees a stop within one slice.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "serial.h"

constexpr auto ReadSlice = std::chrono::milliseconds(50);
constexpr auto PartPacketGrace = std::chrono::milliseconds(100);
// After this, no further packet is begun, however much the line still delivers.
constexpr auto ReadAheadLimit = std::chrono::milliseconds(500);
// The longest a stop waits for the reader, so that it still ends the process within a second.
constexpr auto ReaderStopLimit = std::chrono::milliseconds(800);

// The readpacket code for a read that ended because the process stops.
constexpr std::int32_t LineStopped = -1;

// Makes a stop wait for the reader. Call before the loop reads its first packet.
void letreaderfinishonstop();
// Whether the reader is to finish before a stop (letreaderfinishonstop was called).
bool readerfinishesonstop();

// How the reader waits for its next byte.
struct LineWait {
    bool stopnow = false;  // read nothing more
    bool last = false;     // a stop is under way: when this wait runs out, stop
    DWORD ms = 0;          // the longest wait, in milliseconds
};

// For the reader: how to wait for the next byte; `begun` is when the packet being read
// began, empty between packets.
LineWait linewait(const std::optional<std::chrono::steady_clock::time_point>& begun);

// For the stop: asks the reader to finish and waits until it has, at most `limit`. Returns
// at once when the reader does not finish on a stop.
void finishreading(std::chrono::milliseconds limit);

// For the reader: everything read is handed on; the stop may go on. Never returns: the
// stop ends the process.
[[noreturn]] void readerfinished();
