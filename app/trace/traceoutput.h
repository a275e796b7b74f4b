// Standard output carries the trace; the rows are the product. A trace that cannot be
// written must never stop the storing.
#pragma once

// Ignores SIGPIPE, so that a reader of standard output going away fails the writes
// instead of ending the process. Call it first in main.
void ignorebrokenpipes();
