#include "diagnostics_capture.h"

#include <ostream>
#include <utility>

void PrintTo(const CapturedReport& report, std::ostream* os) {
    *os << (report.level == DiagnosticLevel::Assertion ? "assertion \"" : "trace \"");
    for (char c : report.text) {
        if (c == '\n')
            *os << "\\n";
        else
            *os << c;
    }
    *os << '"';
}

CapturedReport Trace(std::string text) { return {DiagnosticLevel::Warning, std::move(text)}; }

CapturedReport Assertion(std::string condition) {
    return {DiagnosticLevel::Assertion, std::move(condition)};
}

DiagnosticsCapture::DiagnosticsCapture() {
    previous_ = SetDiagnosticSink([this](const DiagnosticReport& report) {
        std::lock_guard<std::mutex> guard(lock_);
        reports_.push_back({report.level, report.text});
    });
}

DiagnosticsCapture::~DiagnosticsCapture() { SetDiagnosticSink(std::move(previous_)); }

std::vector<CapturedReport> DiagnosticsCapture::reports() const {
    std::lock_guard<std::mutex> guard(lock_);
    return reports_;
}

void DiagnosticsCapture::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    reports_.clear();
}
