#include "diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace {

// One lock serialises sink changes, sink calls and file appends, so reports from several
// threads neither interleave in the file nor reach a sink that has just been replaced.
// Like the sink, it is never destroyed: a serial object with static storage reports from
// its destructor at exit, possibly after this file's statics would be gone.
std::mutex& ChannelLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

DiagnosticSink& CurrentSink() {
    static auto* sink = new DiagnosticSink;
    return *sink;
}

void AppendToFile(const char* path, const DiagnosticReport& report) {
    std::FILE* file = std::fopen(path, "a");
    if (!file) return;  // the channel must never disturb the operation that reports
    if (report.level == DiagnosticLevel::Assertion)
        std::fprintf(file, "%s(%d) : Assertion failed: %s\n", report.file, report.line,
                     report.text);
    else
        std::fprintf(file, "%s(%d) : %s", report.file, report.line, report.text);
    std::fclose(file);
}

}  // namespace

void ReportDiagnostic(DiagnosticLevel level, const char* file, int line, const char* text) {
    const DiagnosticReport report{level, file, line, text};
    std::lock_guard<std::mutex> guard(ChannelLock());
    if (CurrentSink()) {
        CurrentSink()(report);
        return;
    }
    // Looked up per report so that the destination can be chosen after start-up.
    if (const char* path = std::getenv("MOTELOG_DIAGNOSTICS"); path && *path)
        AppendToFile(path, report);
}

DiagnosticSink SetDiagnosticSink(DiagnosticSink sink) {
    std::lock_guard<std::mutex> guard(ChannelLock());
    return std::exchange(CurrentSink(), std::move(sink));
}
