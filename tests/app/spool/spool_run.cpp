#include "spool_run.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "journalrecord.h"

namespace {

using Clock = std::chrono::steady_clock;
const std::string Never = "\x01 never written";

}  // namespace

std::string freshdirectory(const std::string& name) {
    // Named per process: test runs of other build trees share the temporary directory.
    const std::filesystem::path dir =
        std::filesystem::path(testing::TempDir()) / (name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::unique_ptr<ChildProcess> startspooled(const PtyPair& pty,
                                           const std::vector<std::string>& clientenv,
                                           const std::string& spool,
                                           const std::vector<std::string>& extra,
                                           const std::vector<std::string>& args,
                                           const std::string& tracefile) {
    std::vector<std::string> settings = clientenv;
    settings.insert(settings.end(), {"COM1=" + pty.slavePath(), "MOTELOG_DB_HOST",
                                     "MOTELOG_DB_PASSWORD", "MOTELOG_SPOOL=" + spool,
                                     "MOTELOG_SPOOL_MAX"});
    settings.insert(settings.end(), extra.begin(), extra.end());
    if (tracefile.empty()) return std::make_unique<ChildProcess>(MOTELOG_PROGRAM, args, settings);
    std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" >\"$TRACEFILE\"", MOTELOG_PROGRAM};
    shell.insert(shell.end(), args.begin(), args.end());
    settings.push_back("TRACEFILE=" + tracefile);
    return std::make_unique<ChildProcess>("/bin/sh", shell, settings);
}

Bytes rawpacket(std::uint16_t moteid, std::uint16_t raw) { return datapacket(0x01, 6, moteid, {{4, raw}}); }

std::vector<Bytes> packetsfrom(int first, int count) {
    std::vector<Bytes> packets;
    for (int mote = first; mote < first + count; ++mote)
        packets.push_back(rawpacket(static_cast<std::uint16_t>(mote)));
    return packets;
}

std::vector<double> sendpaced(const PtyPair& pty, ChildProcess& run, const std::vector<Bytes>& packets,
                              std::chrono::microseconds interval,
                              const std::function<void(std::size_t)>& before) {
    std::vector<double> sent;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (before) before(i);
        pty.send(packets[i]);
        sent.push_back(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                           .count());
        const auto next = start + interval * static_cast<long>(i + 1);
        run.waitForOutput(Never, std::max(std::chrono::milliseconds(1),
                                          std::chrono::duration_cast<std::chrono::milliseconds>(
                                              next - Clock::now())));
    }
    return sent;
}

void feedwhile(const std::vector<Feed*>& feeds, std::chrono::microseconds interval,
               const std::function<bool()>& goon) {
    const auto start = Clock::now();
    for (long sent = 1; goon(); ++sent) {
        for (Feed* feed : feeds) feed->pty.send(rawpacket(feed->nextmote++));
        const auto next = start + interval * sent;
        do {
            for (Feed* feed : feeds) feed->run.waitForOutput(Never, std::chrono::milliseconds(1));
        } while (Clock::now() < next);
    }
}

bool readuntil(ChildProcess& run, const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        run.waitForOutput(Never, std::chrono::milliseconds(100));
    }
    return true;
}

SmallDisk::SmallDisk(const std::string& path) : path_(path) {
    mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=24k") == 0;
    error_ = mounted_ ? "" : std::string("cannot mount a tmpfs: ") + std::strerror(errno);
}

SmallDisk::~SmallDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
}

std::size_t journaledrecords(const std::string& spool) {
    std::size_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(spool))
        if (entry.path().extension() == ".journal") bytes += entry.file_size();
    return bytes / RecordSize;
}
