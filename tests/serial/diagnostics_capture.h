// Captures the serial class's diagnostic reports while in scope, so tests can assert the
// exact trace texts and assertion conditions an operation produced.
#pragma once

#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "diagnostics.h"

struct CapturedReport {
    DiagnosticLevel level;
    std::string text;

    bool operator==(const CapturedReport& other) const {
        return level == other.level && text == other.text;
    }
};

// gtest prints these in failure messages.
void PrintTo(const CapturedReport& report, std::ostream* os);

// A trace text (warning level) as a report, for comparisons.
CapturedReport Trace(std::string text);
// An assertion report of the given condition text.
CapturedReport Assertion(std::string condition);

class DiagnosticsCapture {
public:
    DiagnosticsCapture();
    ~DiagnosticsCapture();

    DiagnosticsCapture(const DiagnosticsCapture&) = delete;
    DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

    // Everything reported since construction or the last clear(), in order.
    std::vector<CapturedReport> reports() const;
    void clear();

private:
    mutable std::mutex lock_;
    std::vector<CapturedReport> reports_;
    DiagnosticSink previous_;
};
