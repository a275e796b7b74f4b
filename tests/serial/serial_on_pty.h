// Test fixture: a CSerial opened on the slave side of a fresh pseudo-terminal, with the
// test holding the master side as the far end of the cable and capturing diagnostics.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics_capture.h"
#include "pty_pair.h"
#include "serial.h"

// Exposes the port handle, so tests can collect asynchronous results and set line
// states through the platform directly.
class InspectableSerial : public CSerial {
public:
    HANDLE portHandle() const { return m_hPort; }
};

// Sends bytes from the far end after a delay, on its own thread; joins on destruction.
class DelayedSend {
public:
    DelayedSend(const PtyPair& pty, std::string bytes,
                std::chrono::milliseconds delay = std::chrono::milliseconds(50))
        : sender_([&pty, bytes, delay] {
              std::this_thread::sleep_for(delay);
              pty.send(bytes);
          }) {}
    ~DelayedSend() { sender_.join(); }

private:
    std::thread sender_;
};

class SerialOnPty : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(port.Open(pty.slavePath().c_str()), ERROR_SUCCESS);
        // A pty has a default configuration, so Open reports nothing.
        ASSERT_EQ(diagnostics.reports(), std::vector<CapturedReport>{});
    }
    void TearDown() override {
        if (port.portHandle()) port.Close();
    }

    // Waits (at most 2 s) until something has arrived on the port, without reading it.
    void awaitInput() {
        ASSERT_EQ(port.WaitEvent(nullptr, 2000), ERROR_SUCCESS);
        port.GetEventType();
    }

    PtyPair pty;
    DiagnosticsCapture diagnostics;
    InspectableSerial port;
};
