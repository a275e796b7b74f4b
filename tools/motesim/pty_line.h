// A virtual serial line made by the simulator itself: a pseudo-terminal pair whose
// slave side (the far end) the logger opens by path while the simulator writes to the
// master side. Nothing is written while no reader has the far end open.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "line.h"
#include "stop_signal.h"

namespace motesim {

class PtyLine : public Line {
public:
    // Creates the pair with the far end in raw mode. Every wait ends early once
    // `shouldStop` says so. Throws std::system_error.
    explicit PtyLine(std::function<bool()> shouldStop = stopRequested);
    ~PtyLine() override;

    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Path of the far end, e.g. /dev/pts/3.
    const std::string& farEndPath() const { return farEndPath_; }

    // Blocks until a reader has the far end open, at most `limit`. Returns false when a
    // stop was requested or the time ran out first.
    bool waitForReader(std::chrono::milliseconds limit = std::chrono::milliseconds::max());

    // Blocks until the reader has closed the far end: closing the master side earlier
    // would throw away what the reader has not read yet. Returns false when a stop was
    // requested first.
    bool waitForReaderToLeave();

    // Writes the bytes; while the far end is closed it waits for the next reader.
    bool send(const std::uint8_t* data, std::size_t size) override;

private:
    std::function<bool()> shouldStop_;
    int master_ = -1;
    std::string farEndPath_;
};

}  // namespace motesim
