// motesim: plays the base-station mote of a sensor network on a serial line, for
// trying out and measuring the logger without motes.
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
    std::uint64_t data = 0;
    std::uint64_t bytes = 0;
};

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
        if (chunk.kind == ChunkKind::Data) ++tally.data;
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
        std::fprintf(stderr,
                     "motesim: sent %llu packets (%llu data, %llu corrupted), %llu bytes in "
                     "%.1f s\n",
                     static_cast<unsigned long long>(tally.chunks),
                     static_cast<unsigned long long>(tally.data),
                     static_cast<unsigned long long>(tally.chunks - tally.data),
                     static_cast<unsigned long long>(tally.bytes), took.count());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "motesim: %s\n", error.what());
        return 1;
    }
    return 0;
}
