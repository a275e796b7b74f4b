// Ctrl+C and SIGTERM ask the simulator to stop after the chunk in progress; a second
// signal ends it at once.
#pragma once

namespace motesim {

// Installs the handlers for SIGINT and SIGTERM, leaving a signal alone that was ignored
// when the program started.
void installStopHandlers();

bool stopRequested();

}  // namespace motesim
