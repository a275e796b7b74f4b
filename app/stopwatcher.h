// An orderly stop on SIGINT and SIGTERM.
#pragma once

#include <mutex>

// Held while a packet's database work is under way (direct mode), or while a packet is
// appended to the spool's journal or a stored batch is recorded and traced (spool mode);
// a stop waits for it.
std::mutex& packetlock();

// Blocks SIGINT and SIGTERM in the calling thread, and so in every thread started from
// it afterwards, and starts a thread that waits for them. When one arrives, that thread
// lets the reader finish if it is to (see linestop.h), takes packetlock(), runs
// finishservice() and ends the process with status 0. Call it
// first in main, before any other thread exists.
void startstopwatcher();
