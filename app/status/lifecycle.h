// What motelog does as a service beside reading and storing: its trace level, its status
// and metrics files, the summary line, and telling systemd how it is.
#pragma once

// The last steps before motelog ends, whether stopped or failed: the last summary line,
// the status and metrics files marked stopped, and the trace written out as far as
// standard output takes it within half a second.
void finishservice();
