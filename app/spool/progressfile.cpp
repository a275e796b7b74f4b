#include "progressfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

#include "bytefields.h"
#include "crc32.h"
#include "filedescriptor.h"

namespace {

// magic 4, crc 4, station 16, stored 8, durable 8
constexpr std::size_t RecordBytes = 40;
constexpr std::uint32_t RecordMagic = 0x32504C4Du;  // "MLP2"

std::array<std::uint8_t, RecordBytes> encode(const Progress& p) {
    std::array<std::uint8_t, RecordBytes> bytes{};
    putle(bytes.data(), RecordMagic, 4);
    for (std::size_t i = 0; i < p.station.size(); ++i) bytes[8 + i] = p.station[i];
    putle(bytes.data() + 24, p.stored, 8);
    putle(bytes.data() + 32, p.durable, 8);
    putle(bytes.data() + 4, crc32of(bytes.data() + 8, RecordBytes - 8), 4);
    return bytes;
}

bool decode(const std::vector<std::uint8_t>& bytes, Progress& p) {
    if (bytes.size() != RecordBytes || getle(bytes.data(), 4) != RecordMagic ||
        getle(bytes.data() + 4, 4) != crc32of(bytes.data() + 8, RecordBytes - 8))
        return false;
    for (std::size_t i = 0; i < p.station.size(); ++i) p.station[i] = bytes[8 + i];
    p.stored = getle(bytes.data() + 24, 8);
    p.durable = getle(bytes.data() + 32, 8);
    return true;
}

std::system_error failure(int error, const std::string& what) {
    return std::system_error(error, std::generic_category(), what);
}

}  // namespace

ProgressFile::ProgressFile(const std::string& dir, std::ostream& report)
    : dir_(dir), path_(dir + "/progress") {
    read(report);
    makespare();
}

// The spare takes its disk space while there is some.
void ProgressFile::makespare() {
    const FileDescriptor fd(open((path_ + ".new").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() >= 0) writeat(fd.get(), encode(current_).data(), RecordBytes, 0);
}

void ProgressFile::read(std::ostream& report) {
    const FileDescriptor fd(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return;
        throw failure(errno, "cannot open " + path_);
    }
    const std::vector<std::uint8_t> content = readwhole(fd.get(), path_);
    if (decode(content, current_)) {
        found_ = Found::Current;
    } else if (const std::optional<LegacyProgress> legacy = readlegacyprogress(content)) {
        found_ = Found::Upgraded;
        current_.stored = current_.durable = legacy->stored;
        legacy_ = legacy->batch;
    } else {
        found_ = Found::Damaged;
        report << "motelog: spool progress " + path_ +
                      " is damaged; the database's record of this station decides what is stored\n"
               << std::flush;
    }
}

// The new record goes into the spare file DIR/progress.new, in place, which then changes
// places with DIR/progress: the old record's file becomes the next spare. Neither step needs
// space on the disk, so that a full disk cannot stop the spool from recording what it stored.
void ProgressFile::write(const Progress& next, Sync sync) {
    const std::string spare = path_ + ".new";
    {
        const FileDescriptor fd(open(spare.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        if (fd.get() < 0) throw failure(errno, "cannot open " + spare);
        const auto bytes = encode(next);
        if (const int error = writeat(fd.get(), bytes.data(), bytes.size(), 0))
            throw failure(error, "cannot write " + spare);
        if (ftruncate(fd.get(), RecordBytes) != 0) throw failure(errno, "cannot cut " + spare);
        if (sync == Sync::Disk && fdatasync(fd.get()) != 0)
            throw failure(errno, "cannot sync " + spare);
    }
    if (renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) != 0) {
        // No record yet, or a filesystem that cannot exchange: a plain rename.
        if ((errno != ENOENT && errno != EINVAL) || std::rename(spare.c_str(), path_.c_str()) != 0)
            throw failure(errno, "cannot rename " + spare);
        makespare();
    }
    if (sync == Sync::Disk) {
        // The exchange itself reaches the disk with the directory.
        const FileDescriptor directory(open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.get() < 0 || fsync(directory.get()) != 0)
            throw failure(errno, "cannot sync the spool directory " + dir_);
    }
    current_ = next;
    found_ = Found::Current;
}
