#include "journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <system_error>

#include "filedescriptor.h"

namespace {

constexpr const char* SegmentSuffix = ".journal";
constexpr std::uint64_t LargestSegment = 4u << 20;

std::system_error fileerror(const std::string& what, const std::string& path) {
    return std::system_error(errno, std::generic_category(), what + " " + path);
}

std::string segmentname(std::uint64_t first) {
    char name[32];
    std::snprintf(name, sizeof name, "%020" PRIu64 "%s", first, SegmentSuffix);
    return name;
}

// The first seqs of the segments in `dir`, in order.
std::vector<std::uint64_t> segmentsin(const std::string& dir) {
    DIR* listing = opendir(dir.c_str());
    if (!listing) throw fileerror("cannot list the spool directory", dir);
    std::vector<std::uint64_t> firsts;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        const std::string suffix = SegmentSuffix;
        if (name.size() <= suffix.size()) continue;
        const std::size_t digits = name.size() - suffix.size();
        if (name.substr(digits) != suffix || name.find_first_not_of("0123456789") != digits) continue;
        firsts.push_back(std::stoull(name.substr(0, digits)));
    }
    closedir(listing);
    std::sort(firsts.begin(), firsts.end());
    return firsts;
}

void cutback(int fd, off_t end) {
    while (ftruncate(fd, end) != 0 && errno == EINTR) {
    }
}

void syncdirectory(const std::string& dir) {
    const FileDescriptor fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) fdatasync(fd.get());
}

}  // namespace

Journal::Journal(const std::string& dir, std::uint64_t capbytes, std::uint64_t firstseq,
                 std::ostream& report)
    : dir_(dir),
      cap_(capbytes),
      segmentlimit_(std::max<std::uint64_t>(std::min(LargestSegment, capbytes / 8), 4 * RecordSize)) {
    recover(report);
    // A journal that ends before `firstseq` lost records that were stored already (a power
    // cut, a damaged tail); numbering on from its end would pass new packets off as stored.
    if (segments_.empty() || segments_.back().first + segments_.back().count < firstseq) {
        startsegment(firstseq);
        return;
    }
    const Segment& last = segments_.back();
    writefd_ = open(last.path.c_str(), O_WRONLY | O_CLOEXEC);
    if (writefd_ < 0) throw fileerror("cannot open the journal segment", last.path);
}

Journal::~Journal() {
    if (writefd_ >= 0) close(writefd_);
}

void Journal::recover(std::ostream& report) {
    for (const std::uint64_t first : segmentsin(dir_)) {
        Segment segment{first, 0, dir_ + "/" + segmentname(first)};
        const FileDescriptor fd(open(segment.path.c_str(), O_RDWR | O_CLOEXEC));
        if (fd.get() < 0) throw fileerror("cannot open the journal segment", segment.path);
        const std::vector<std::uint8_t> content = readwhole(fd.get(), segment.path);
        std::size_t offset = 0;
        JournalEntry entry;
        std::string damage;
        while (offset < content.size()) {
            damage = decoderecord(content.data() + offset, content.size() - offset, entry);
            if (!damage.empty()) break;
            offset += RecordSize;
        }
        if (offset < content.size()) {
            report << "motelog: spool journal " << segment.path << ": " << damage << " at byte "
                   << offset << "; its last " << content.size() - offset
                   << " bytes are dropped, never stored" << std::endl;
            if (ftruncate(fd.get(), static_cast<off_t>(offset)) != 0)
                throw fileerror("cannot cut the damaged tail off", segment.path);
        }
        segment.count = offset / RecordSize;
        bytes_ += offset;
        segments_.push_back(segment);
    }
}

void Journal::startsegment(std::uint64_t first) {
    Segment segment{first, 0, dir_ + "/" + segmentname(first)};
    const int fd = open(segment.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) throw fileerror("cannot create the journal segment", segment.path);
    syncdirectory(dir_);
    if (writefd_ >= 0) {
        fdatasync(writefd_);
        close(writefd_);
    }
    writefd_ = fd;
    segments_.push_back(segment);
}

AppendResult Journal::append(std::int64_t arrivalus, const MotePacket& packet) {
    const RecordBytes record = encoderecord(arrivalus, packet);
    const std::lock_guard<std::mutex> guard(mutex_);
    // A full segment is closed even at the cap: only a closed segment can be released, and
    // a cap of less than two segments would otherwise never make room again.
    try {
        const Segment& current = segments_.back();
        if (current.count > 0 && (current.count + 1) * RecordSize > segmentlimit_)
            startsegment(current.first + current.count);
    } catch (const std::system_error& error) {
        return {AppendResult::Failed, error.code().value()};
    }
    if (bytes_ + RecordSize > cap_) return {AppendResult::AtCap, 0};
    Segment& last = segments_.back();
    const auto end = static_cast<off_t>(last.count * RecordSize);
    if (const int error = writeat(writefd_, record.data(), record.size(), end)) {
        // The next record goes to the same place; the cut only matters if none follows.
        cutback(writefd_, end);
        return {AppendResult::Failed, error};
    }
    ++last.count;
    bytes_ += RecordSize;
    appended_.notify_all();
    return {AppendResult::Stored, 0};
}

JournalRead Journal::read(std::uint64_t from, std::size_t max) {
    JournalRead result{{}, from};
    std::vector<JournalEntry>& entries = result.entries;
    const std::lock_guard<std::mutex> guard(mutex_);
    for (const Segment& segment : segments_) {
        if (entries.size() >= max) break;
        const std::uint64_t end = segment.first + segment.count;
        if (end <= from) continue;
        const std::uint64_t start = std::max(from, segment.first);
        const std::uint64_t count = std::min<std::uint64_t>(end - start, max - entries.size());
        const FileDescriptor fd(open(segment.path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) throw fileerror("cannot open the journal segment", segment.path);
        std::vector<std::uint8_t> content(count * RecordSize);
        readat(fd.get(), content, (start - segment.first) * RecordSize, segment.path);
        for (std::uint64_t i = 0; i < count; ++i) {
            JournalEntry entry;
            entry.seq = start + i;
            const std::string damage =
                decoderecord(content.data() + i * RecordSize, RecordSize, entry);
            if (!damage.empty()) {
                errno = EIO;
                throw fileerror("found " + damage + " in", segment.path);
            }
            entries.push_back(entry);
        }
    }
    if (!entries.empty()) result.end = entries.back().seq + 1;
    return result;
}

std::uint64_t Journal::begin() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return segments_.front().first;
}

std::uint64_t Journal::end() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return segments_.back().first + segments_.back().count;
}

bool Journal::waitfor(std::uint64_t from, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(mutex_);
    return appended_.wait_for(guard, timeout, [&] {
        return segments_.back().first + segments_.back().count > from;
    });
}

void Journal::release(std::uint64_t from) {
    const std::lock_guard<std::mutex> guard(mutex_);
    // The segment being written stays, even when all of it is stored.
    while (segments_.size() > 1 && segments_.front().first + segments_.front().count <= from) {
        if (unlink(segments_.front().path.c_str()) != 0) return;  // tried again at the next release
        bytes_ -= segments_.front().count * RecordSize;
        segments_.erase(segments_.begin());
    }
}

bool Journal::sync() {
    int fd = -1;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        fd = dup(writefd_);
    }
    // Outside the lock: the reader must not wait for the disk.
    if (fd < 0) return false;
    const bool synced = fdatasync(fd) == 0;
    close(fd);
    return synced;
}

std::uint64_t Journal::bytes() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return bytes_;
}
