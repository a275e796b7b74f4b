// Watches the receive queue of a pty slave without reading from it, so a test can tell
// when the program on the other side has taken the bytes that were sent.
#pragma once

#include <chrono>
#include <string>

class LineObserver {
public:
    // Opens `slavepath` for watching; do so before the program under test opens the port
    // exclusively. Throws std::system_error on failure.
    explicit LineObserver(const std::string& slavepath);
    ~LineObserver();

    LineObserver(const LineObserver&) = delete;
    LineObserver& operator=(const LineObserver&) = delete;

    // Waits until exactly `count` bytes wait in the slave's queue; false after `timeout`.
    // Bytes written to the master reach that queue a moment later, so a test that must
    // know they are there waits for them before the port is opened, and for 0 after.
    bool waitqueued(int count, std::chrono::milliseconds timeout) const;

    // Waits until the port is set the way motelog sets it at start-up (57600 baud, RTS/CTS
    // handshaking, its last setting that touches the device); false after `timeout`.
    bool waitconfigured(std::chrono::milliseconds timeout) const;

private:
    int fd_;
};
