#include "stagebeat.h"

namespace {

std::int64_t steadyns() {
    // Never 0, which means waiting.
    return std::chrono::steady_clock::now().time_since_epoch().count() | 1;
}

}  // namespace

void StageBeat::busy() { since_.store(steadyns()); }

void StageBeat::waiting() { since_.store(0); }

std::chrono::steady_clock::duration StageBeat::busyfor() const {
    const std::int64_t since = since_.load();
    if (since == 0) return std::chrono::steady_clock::duration::zero();
    return std::chrono::steady_clock::duration(steadyns() - since);
}

StageBeat& loopstage() {
    static StageBeat stage;
    return stage;
}

StageBeat& storestage() {
    static StageBeat stage;
    return stage;
}
