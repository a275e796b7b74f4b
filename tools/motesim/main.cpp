// motesim: plays the base-station mote of a sensor network on a serial line, for
// trying out and measuring the logger without motes.
#include <array>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "device_link.h"
#include "mote_traffic.h"
#include "options.h"
#include "pacer.h"
#include "pty_line.h"
#include "serial_line.h"
#include "stop_signal.h"

namespace {

using namespace motesim;

struct Tally {
    std::uint64_t chunks = 0;
    std::uint64_t bytes = 0;
    std::array<std::uint64_t, 5> byKind{};  // indexed by ChunkKind

    std::uint64_t count(ChunkKind kind) const { return byKind[static_cast<std::size_t>(kind)]; }
};

// Each kind of input in the words the demo's summary of the logger's side uses too.
void printSummary(const Tally& tally, double seconds) {
    std::fprintf(stderr,
                 "motesim: sent %llu data packets, %llu queries, %llu empty packets, %llu "
                 "packets with swapped start bytes and %llu runs of stray bytes; %llu in all, "
                 "%llu bytes in %.1f s\n",
                 static_cast<unsigned long long>(tally.count(ChunkKind::Data)),
                 static_cast<unsigned long long>(tally.count(ChunkKind::Query)),
                 static_cast<unsigned long long>(tally.count(ChunkKind::ZeroLength)),
                 static_cast<unsigned long long>(tally.count(ChunkKind::SwappedStart)),
                 static_cast<unsigned long long>(tally.count(ChunkKind::StrayBytes)),
                 static_cast<unsigned long long>(tally.chunks),
                 static_cast<unsigned long long>(tally.bytes), seconds);
}

Tally send(const Options& options, Line& line) {
    MoteTraffic traffic(options.traffic);
    Pacer pacer(options.rate * kFrameSize);
    Tally tally;
    while (options.count == 0 || tally.chunks < options.count) {
        const Chunk chunk = traffic.next();
        if (!pacer.waitUntilDue(tally.bytes)) break;
        if (!line.send(chunk.bytes.data(), chunk.bytes.size())) break;
        ++tally.chunks;
        tally.bytes += chunk.bytes.size();
        ++tally.byKind[static_cast<std::size_t>(chunk.kind)];
    }
    return tally;
}

Tally sendOnPty(const Options& options) {
    PtyLine pty;
    if (!options.link.empty()) pointLink(options.link, pty.farEndPath());
    // Scripts read this line to learn where to point the logger.
    std::printf("%s\n", pty.farEndPath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "motesim: waiting for a reader on %s\n", pty.farEndPath().c_str());
    if (!pty.waitForReader()) return {};
    const Tally tally = send(options, pty);
    if (!stopRequested()) {
        std::fprintf(stderr, "motesim: all sent; waiting for the reader to close %s\n",
                     pty.farEndPath().c_str());
        pty.waitForReaderToLeave();
    }
    return tally;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "motesim: %s\n%s", error.what(), usageText());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    installStopHandlers();
    try {
        const auto started = std::chrono::steady_clock::now();
        Tally tally;
        if (options.usePty) {
            tally = sendOnPty(options);
        } else {
            SerialLine line(options.device);
            tally = send(options, line);
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        printSummary(tally, took.count());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "motesim: %s\n", error.what());
        return 1;
    }
    return 0;
}
