// A pseudo-terminal pair standing in for a serial cable: the code under test opens the
// slave side by its path, the test drives the master side as the far end of the line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PtyPair {
public:
    // Opens a pair with the slave in raw mode. Throws std::system_error on failure.
    PtyPair();
    ~PtyPair();

    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // Writes all bytes to the master side (the line towards the code under test).
    void send(const std::vector<std::uint8_t>& bytes) const;
    void send(const std::string& text) const;

    // Reads from the master side until `count` bytes have come or `timeout` has passed;
    // returns what arrived.
    std::vector<std::uint8_t> receive(std::size_t count,
                                      std::chrono::milliseconds timeout) const;

    // Closes the master side: the far end of the cable goes away.
    void closeMaster();

    // Closes the slave descriptor that keeps the pair alive while nobody has it open.
    void closeSlaveKeeper();

private:
    int master_ = -1;
    int slaveKeeper_ = -1;  // held so the master does not see a hang-up before the test opens it
    std::string slavePath_;
};
