// The diagnostic channel of the serial class: trace texts and assertion reports go here,
// never to the console. Reports may come from any thread.
//
// When the environment variable MOTELOG_DIAGNOSTICS names a file, each report is appended
// to it as "<file>(<line>) : <text>" for a trace (the text as given, with or without its
// own line end) or "<file>(<line>) : Assertion failed: <condition>\n" for an assertion;
// otherwise reports are dropped. Tests install a sink to capture reports directly.
#pragma once

#include <functional>

enum class DiagnosticLevel { Warning, Assertion };

struct DiagnosticReport {
    DiagnosticLevel level;
    const char* file;
    int line;
    const char* text;  // the trace text exactly as written, or the asserted condition
};

// Receives each report; it must not report to the channel itself (it runs under its lock).
using DiagnosticSink = std::function<void(const DiagnosticReport&)>;

// Delivers one report to the current sink, else to the MOTELOG_DIAGNOSTICS file. Never
// fails visibly: a file that cannot be written loses the report.
void ReportDiagnostic(DiagnosticLevel level, const char* file, int line, const char* text);

// Replaces the sink and returns the previous one; an empty sink restores the file/drop
// default. Once it returns, the previous sink receives no further reports.
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);

// A trace text of the class: a warning-level report from the current source line.
#define SERIAL_TRACE(text) ReportDiagnostic(DiagnosticLevel::Warning, __FILE__, __LINE__, (text))

// A debug assertion: reports the condition text when it does not hold, then goes on.
#define SERIAL_ASSERT(condition)                                                          \
    do {                                                                                  \
        if (!(condition))                                                                 \
            ReportDiagnostic(DiagnosticLevel::Assertion, __FILE__, __LINE__, #condition); \
    } while (false)
