// The diagnostic channel of the serial class: trace texts and assertion reports go here,
// never to the console. When MOTELOG_DIAGNOSTICS names a file, each report is appended
// to it as "<file>(<line>) : <level>: <text>"; otherwise reports are dropped. Tests
// install a sink to capture reports directly.
#pragma once

#include <functional>

enum class DiagnosticLevel { Warning, Assertion };

struct DiagnosticReport {
    DiagnosticLevel level;
    const char* file;
    int line;
    const char* text;  // the trace text exactly as written, or the asserted condition
};

using DiagnosticSink = std::function<void(const DiagnosticReport&)>;

// Delivers one report to the current sink (or to the MOTELOG_DIAGNOSTICS file).
void ReportDiagnostic(DiagnosticLevel level, const char* file, int line, const char* text);

// Replaces the sink and returns the previous one; an empty sink restores the default.
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);

// A trace text of the class: a warning-level report from the current source line.
#define SERIAL_TRACE(text) ReportDiagnostic(DiagnosticLevel::Warning, __FILE__, __LINE__, (text))

// A debug assertion: reports the condition text when it does not hold, then goes on.
#define SERIAL_ASSERT(condition)                                                         \
    do {                                                                                 \
        if (!(condition))                                                                \
            ReportDiagnostic(DiagnosticLevel::Assertion, __FILE__, __LINE__, #condition); \
    } while (false)
