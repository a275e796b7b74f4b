// Test seams of the store, set through the environment by the tests only; a real run
// leaves them unset and never notices them.
#pragma once

#include <chrono>

// Ends the process with SIGKILL when MOTELOG_TEST_KILL_AT (read once) names `point` of a
// batch's commit protocol, as a crash there would.
void killpoint(const char* point);

// `standard`, or MOTELOG_TEST_REPLAY_WINDOW_MS milliseconds, so that a test of something
// else need not wait for committed records to age.
std::chrono::milliseconds replaywindow(std::chrono::milliseconds standard);
