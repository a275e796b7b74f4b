// `motelog --check`: tries what a start of the logger needs, before any packet arrives.
#pragma once

#include "dbsettings.h"

// Opens and sets up COM1 with the start-up's own steps, then, on each database host of
// the environment's settings (dbsettingsfromenvironment() with `built`), connects, says
// how the connection is protected, and stores as the logger would, in transactions rolled
// back (a reading; with a spool, a station's position too). Each step goes out in words as
// it is done, on standard output when it worked and on standard error with the cause when
// it did not. Returns the exit status: 0 when every step worked, 1 otherwise.
int runstartupcheck(const Password& built);
