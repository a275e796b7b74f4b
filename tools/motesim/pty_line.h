// A virtual serial line made by the simulator itself: a pseudo-terminal pair whose
// slave side (the far end) the logger opens by path while the simulator writes to the
// master side. Nothing is written while no reader has the far end open.
#pragma once

#include <string>

#include "line.h"

namespace motesim {

class PtyLine : public Line {
public:
    // Creates the pair with the far end in raw mode. Throws std::system_error.
    PtyLine();
    ~PtyLine() override;

    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Path of the far end, e.g. /dev/pts/3.
    const std::string& farEndPath() const { return farEndPath_; }

    // Blocks until a reader has the far end open. Returns false when a stop was
    // requested first.
    bool waitForReader();

    // Blocks until the reader has closed the far end: closing the master side earlier
    // would throw away what the reader has not read yet. Returns false when a stop was
    // requested first.
    bool waitForReaderToLeave();

    // Writes the bytes; while the far end is closed it waits for the next reader.
    bool send(const std::uint8_t* data, std::size_t size) override;

private:
    int master_ = -1;
    std::string farEndPath_;
};

}  // namespace motesim
