// The diagnostic channel: its file format, its thread safety, and that the serial class
// never writes to the console.
#include "diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "serial.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets or clears MOTELOG_DIAGNOSTICS for one test and restores it afterwards.
class DiagnosticsFileVariable {
public:
    explicit DiagnosticsFileVariable(const char* value) {
        if (const char* old = std::getenv(kName)) {
            saved_ = old;
            hadValue_ = true;
        }
        if (value)
            setenv(kName, value, 1);
        else
            unsetenv(kName);
    }
    ~DiagnosticsFileVariable() {
        if (hadValue_)
            setenv(kName, saved_.c_str(), 1);
        else
            unsetenv(kName);
    }

private:
    static constexpr const char* kName = "MOTELOG_DIAGNOSTICS";
    std::string saved_;
    bool hadValue_ = false;
};

// A fresh temporary file name, removed again at the end of the test.
struct TempPath {
    TempPath()
        : path(testing::TempDir() + "motelog-diag-" + std::to_string(getpid()) + "-" +
               std::to_string(++count)) {
        std::remove(path.c_str());
    }
    static inline int count = 0;
    ~TempPath() { std::remove(path.c_str()); }
    std::string path;
};

TEST(DiagnosticsFile, AppendsSourceLineAndTextAsGiven) {
    TempPath file;
    DiagnosticsFileVariable variable(file.path.c_str());
    ReportDiagnostic(DiagnosticLevel::Warning, "unit.cpp", 12, "no line end");
    ReportDiagnostic(DiagnosticLevel::Warning, "unit.cpp", 13, "with line end\n");
    ReportDiagnostic(DiagnosticLevel::Assertion, "unit.cpp", 14, "x == 1");
    EXPECT_EQ(ReadFile(file.path),
              "unit.cpp(12) : no line end"
              "unit.cpp(13) : with line end\n"
              "unit.cpp(14) : Assertion failed: x == 1\n");
}

TEST(DiagnosticsFile, ReceivesTheClassReports) {
    TempPath file;
    DiagnosticsFileVariable variable(file.path.c_str());
    CSerial port;
    char byte;
    port.Read(&byte, 1);
    EXPECT_TRUE(std::regex_match(
        ReadFile(file.path),
        std::regex(R"(\S*serial\.cpp\(\d+\) : CSerial::Read - Device is not opened\n)")));
}

TEST(DiagnosticsSink, ReceivesEveryReportFromConcurrentThreads) {
    // The sink counts with a deliberately wide read-modify-write window: only a channel
    // that serialises its calls keeps every count.
    int count = 0;
    DiagnosticSink previous = SetDiagnosticSink([&count](const DiagnosticReport&) {
        const int seen = count;
        std::this_thread::yield();
        count = seen + 1;
    });
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&go] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < 500; ++i) ReportDiagnostic(DiagnosticLevel::Warning, "t", i, "r");
        });
    go = true;
    for (auto& thread : threads) thread.join();
    SetDiagnosticSink(previous);
    EXPECT_EQ(count, 2000);
}

// Redirects a file descriptor into a temporary file while in scope.
class CapturedDescriptor {
public:
    explicit CapturedDescriptor(int fd) : fd_(fd), saved_(dup(fd)) {
        std::FILE* sink = std::fopen(file_.path.c_str(), "w");
        dup2(fileno(sink), fd_);
        std::fclose(sink);
    }
    ~CapturedDescriptor() { restore(); }
    std::string restore() {
        if (saved_ >= 0) {
            std::fflush(nullptr);
            dup2(saved_, fd_);
            close(saved_);
            saved_ = -1;
        }
        return ReadFile(file_.path);
    }

private:
    TempPath file_;
    int fd_;
    int saved_;
};

TEST(DiagnosticsDefault, KeepsTheConsoleQuietWhenNoFileIsNamed) {
    DiagnosticsFileVariable variable(nullptr);
    std::fflush(nullptr);
    CapturedDescriptor out(STDOUT_FILENO);
    CapturedDescriptor err(STDERR_FILENO);
    {
        CSerial port;
        char buffer[4];
        OVERLAPPED overlapped{};
        port.Open("/dev/motelog-no-such-port");
        port.Read(buffer, sizeof buffer, nullptr, &overlapped);
        port.Write("abc");
        port.Setup();
        port.GetRing();
        port.GetEventType();
        port.Close();
    }
    EXPECT_EQ(out.restore(), "");
    EXPECT_EQ(err.restore(), "");
}

}  // namespace
