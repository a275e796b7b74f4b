#include "journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <system_error>
#include <utility>

#include "filedescriptor.h"
#include "spoolfilecalls.h"

namespace {

constexpr const char* SegmentSuffix = ".journal";
constexpr std::uint64_t LargestSegment = 4u << 20;

std::system_error fileerror(int error, const std::string& what, const std::string& path) {
    return std::system_error(error, std::generic_category(), what + " " + path);
}

std::string segmentname(std::uint64_t first) {
    char name[32];
    std::snprintf(name, sizeof name, "%020" PRIu64 "%s", first, SegmentSuffix);
    return name;
}

// The first seqs of the segments in `dir`, in order.
std::vector<std::uint64_t> segmentsin(const std::string& dir) {
    DIR* listing = opendir(dir.c_str());
    if (!listing) throw fileerror(errno, "cannot list the spool directory", dir);
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

int openfile(const std::string& path, int flags) {
    int fd;
    while ((fd = spoolfilecalls().open(path.c_str(), flags | O_CLOEXEC, 0600)) < 0 && errno == EINTR) {
    }
    return fd;
}

int syncdirectory(const std::string& dir) {
    const FileDescriptor fd(openfile(dir, O_RDONLY | O_DIRECTORY));
    return fd.get() < 0 ? errno : syncdata(fd.get());
}

// The layout of a segment's records: the one under which more of its first records are
// intact, so that a damaged first record does not decide it. An empty segment is current.
std::size_t recordsizeof(const std::vector<std::uint8_t>& content) {
    int intact[2] = {0, 0};
    const std::size_t sizes[2] = {RecordSize, LandedRecordSize};
    for (int layout = 0; layout < 2; ++layout) {
        for (std::size_t at = 0; at < 8 * sizes[layout] && at < content.size(); at += sizes[layout]) {
            JournalEntry entry;
            if (decoderecord(content.data() + at, content.size() - at, sizes[layout], entry).empty())
                ++intact[layout];
        }
    }
    return intact[1] > intact[0] ? LandedRecordSize : RecordSize;
}

// Damaged records next to each other, reported in one line.
class DamageRun {
public:
    DamageRun(const std::string& path, std::size_t recordsize, std::uint64_t first)
        : path_(path), recordsize_(recordsize), first_(first) {}

    // Adds the record in place `slot`; a record that does not follow the run ends it.
    void add(std::uint64_t slot, const std::string& damage, std::ostringstream& lines) {
        if (count_ > 0 && slot != start_ + count_) flush(lines);
        if (count_ == 0) {
            start_ = slot;
            damage_ = damage;
        }
        ++count_;
    }

    void flush(std::ostringstream& lines) {
        if (count_ == 0) return;
        lines << "motelog: spool journal " << path_ << ": ";
        if (count_ == 1)
            lines << damage_ << " at byte " << start_ * recordsize_ << " (packet seq " << first_ + start_;
        else
            lines << count_ << " damaged records from byte " << start_ * recordsize_ << " ("
                  << damage_ << " first; packets seq " << first_ + start_ << " to "
                  << first_ + start_ + count_ - 1;
        lines << "); skipped, never stored\n";
        count_ = 0;
    }

private:
    std::string path_;
    std::size_t recordsize_;
    std::uint64_t first_;
    std::uint64_t start_ = 0;
    std::uint64_t count_ = 0;
    std::string damage_;
};

}  // namespace

Journal::Journal(const std::string& dir, std::uint64_t capbytes, std::uint64_t firstseq,
                 std::ostream& report)
    : dir_(dir),
      cap_(capbytes),
      segmentlimit_(std::max<std::uint64_t>(std::min(LargestSegment, capbytes / 8), 4 * RecordSize)),
      report_(report),
      released_(firstseq) {
    recover(firstseq);
    if (segments_.empty()) {
        startsegment(firstseq);
        return;
    }
    if (endlocked() < firstseq) {
        goonfrom(firstseq);
        return;
    }
    const Segment& last = segments_.back();
    // Records of the landed layout are read, never added to.
    if (last.recordsize != RecordSize && last.count > 0) {
        startsegment(last.first + last.count);
        return;
    }
    writefd_ = openfile(last.path, O_WRONLY);
    if (writefd_ < 0) throw fileerror(errno, "cannot open the journal segment", last.path);
}

Journal::~Journal() {
    if (writefd_ >= 0) close(writefd_);
    for (const Segment& segment : segments_)
        if (segment.unsyncedfd >= 0) close(segment.unsyncedfd);
}

void Journal::recover(std::uint64_t firstseq) {
    const std::vector<std::uint64_t> firsts = segmentsin(dir_);
    for (std::size_t i = 0; i < firsts.size(); ++i) {
        const std::uint64_t expected = segments_.empty() ? firstseq : endlocked();
        if (firsts[i] > expected && firsts[i] > firstseq)
            reportmissing(std::max(expected, firstseq), firsts[i], "their journal segment is missing");
        segments_.push_back(recoversegment(firsts[i], i + 1 == firsts.size(), firstseq));
        bytes_ += segments_.back().count * segments_.back().recordsize;
    }
}

// Counts the segment's records and reports its damaged ones that are not stored yet; an
// incomplete last record of the journal is a torn write, which is cut off.
Journal::Segment Journal::recoversegment(std::uint64_t first, bool last, std::uint64_t firstseq) {
    Segment segment{first, 0, RecordSize, dir_ + "/" + segmentname(first)};
    const FileDescriptor fd(openfile(segment.path, O_RDWR));
    if (fd.get() < 0) throw fileerror(errno, "cannot open the journal segment", segment.path);
    const std::vector<std::uint8_t> content = readwhole(fd.get(), segment.path);
    segment.recordsize = recordsizeof(content);
    const std::size_t size = segment.recordsize;
    std::ostringstream lines;
    segment.count = content.size() / size;
    if (const std::size_t torn = content.size() % size; torn != 0 && last) {
        JournalEntry entry;
        const std::size_t at = content.size() - torn;
        lines << "motelog: spool journal " << segment.path << ": "
              << decoderecord(content.data() + at, torn, size, entry) << " at byte " << at
              << "; its last " << torn << " bytes are dropped, never stored\n";
        if (spoolfilecalls().ftruncate(fd.get(), static_cast<off_t>(at)) != 0)
            throw fileerror(errno, "cannot cut the damaged tail off", segment.path);
    } else if (torn != 0) {
        ++segment.count;  // a record cut short inside the journal is a damaged one
    }
    DamageRun run(segment.path, size, first);
    for (std::uint64_t slot = 0; slot < segment.count; ++slot) {
        if (first + slot < firstseq) continue;
        JournalEntry entry;
        const std::size_t at = slot * size;
        const std::string damage = decoderecord(content.data() + at, content.size() - at, size, entry);
        if (damage.empty()) continue;
        run.add(slot, damage, lines);
        damaged_.insert(first + slot);
    }
    run.flush(lines);
    reportline(lines.str());
    return segment;
}

void Journal::startsegment(std::uint64_t first) {
    Segment segment{first, 0, RecordSize, dir_ + "/" + segmentname(first)};
    const int fd = openfile(segment.path, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) throw fileerror(errno, "cannot create the journal segment", segment.path);
    // The closed segment and the new name reach the disk at the next sync, which the store
    // waits for, not the reader.
    directorychanged_ = true;
    if (writefd_ >= 0) segments_.back().unsyncedfd = writefd_;
    writefd_ = fd;
    segments_.push_back(segment);
}

// Numbering goes on from `seq`, past the journal's end.
void Journal::goonfrom(std::uint64_t seq) {
    const std::uint64_t end = endlocked();
    std::ostringstream line;
    line << "motelog: spool journal " << dir_ << ": the stored position " << seq
         << " is beyond the journal's end " << end << ": packets seq " << end << " to " << seq - 1
         << " (" << seq - end << ") are counted as stored but are not in the journal; new "
         << "packets are numbered from " << seq << "\n";
    reportline(line.str());
    const bool emptylast = segments_.back().count == 0;
    startsegment(seq);
    if (emptylast) {
        spoolfilecalls().unlink(segments_[segments_.size() - 2].path.c_str());
        segments_.erase(segments_.end() - 2);
    }
}

AppendResult Journal::append(const ArrivalTime& arrival, const MotePacket& packet) {
    const RecordBytes record = encoderecord(arrival, packet);
    const std::lock_guard<std::mutex> guard(mutex_);
    // A full segment is closed even at the cap: only a closed segment can be released, and
    // a cap of less than two segments would otherwise never make room again.
    try {
        if (blocked_) givebacklast();
        const Segment& current = segments_.back();
        if (current.count > 0 && (current.count + 1) * RecordSize > segmentlimit_)
            startsegment(current.first + current.count);
    } catch (const std::system_error& error) {
        blocked_ = true;
        return {AppendResult::Failed, error.code().value()};
    }
    if (bytes_ + RecordSize > cap_) {
        blocked_ = true;
        return {AppendResult::AtCap, 0};
    }
    Segment& last = segments_.back();
    const auto end = static_cast<off_t>(last.count * RecordSize);
    if (const int error = writeat(writefd_, record.data(), record.size(), end)) {
        // The next record goes to the same place; the cut only matters if none follows.
        spoolfilecalls().ftruncate(writefd_, end);
        blocked_ = true;
        return {AppendResult::Failed, error};
    }
    ++last.count;
    bytes_ += RecordSize;
    blocked_ = false;
    appended_.notify_all();
    return {AppendResult::Stored, 0};
}

JournalRead Journal::read(std::uint64_t from, std::size_t max) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (from > endlocked()) {
        goonfrom(from);
        return {{}, from};
    }
    JournalRead result{{}, from};
    for (std::size_t i = 0; i < segments_.size() && result.entries.size() < max;) {
        const Segment& segment = segments_[i];
        if (segment.first + segment.count <= result.end) {
            ++i;
            continue;
        }
        // A gap before the segment was reported when it was found.
        result.end = std::max(result.end, segment.first);
        const FileDescriptor fd(openfile(segment.path, O_RDONLY));
        if (fd.get() < 0 && errno == ENOENT && i + 1 < segments_.size()) {
            reportmissing(result.end, segment.first + segment.count, "their journal segment was deleted");
            bytes_ -= segment.count * segment.recordsize;
            segments_.erase(segments_.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (fd.get() < 0) throw fileerror(errno, "cannot open the journal segment", segment.path);
        readsegment(segment, fd.get(), result, max);
        ++i;
    }
    return result;
}

// Reads the segment's records from `into.end` on until `into` holds `max` entries.
void Journal::readsegment(const Segment& segment, int fd, JournalRead& into, std::size_t max) {
    const std::size_t size = segment.recordsize;
    const std::uint64_t end = segment.first + segment.count;
    std::ostringstream lines;
    DamageRun run(segment.path, size, segment.first);
    while (into.end < end && into.entries.size() < max) {
        const std::uint64_t start = into.end - segment.first;
        const std::uint64_t count = std::min<std::uint64_t>(end - into.end, max - into.entries.size());
        std::vector<std::uint8_t> content(count * size);
        const std::size_t got = readat(fd, content, start * size, segment.path);
        for (std::uint64_t i = 0; i < count; ++i) {
            JournalEntry entry;
            entry.seq = into.end++;
            const std::size_t at = i * size;
            const std::string damage =
                decoderecord(content.data() + at, at < got ? got - at : 0, size, entry);
            if (damage.empty())
                into.entries.push_back(entry);
            else if (damaged_.insert(entry.seq).second)
                run.add(start + i, damage, lines);
        }
    }
    run.flush(lines);
    reportline(lines.str());
}

std::uint64_t Journal::begin() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return segments_.front().first;
}

std::uint64_t Journal::endlocked() const { return segments_.back().first + segments_.back().count; }

std::uint64_t Journal::end() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return endlocked();
}

bool Journal::waitfor(std::uint64_t from, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(mutex_);
    return appended_.wait_for(guard, timeout, [&] { return endlocked() > from; });
}

void Journal::release(std::uint64_t from) {
    const std::lock_guard<std::mutex> guard(mutex_);
    released_ = std::max(released_, from);
    while (segments_.size() > 1 && segments_.front().first + segments_.front().count <= released_) {
        if (spoolfilecalls().unlink(segments_.front().path.c_str()) != 0 && errno != ENOENT)
            return;  // tried again at the next release
        dropfront();
    }
    damaged_.erase(damaged_.begin(), damaged_.lower_bound(released_));
    if (!blocked_) return;
    try {
        givebacklast();
    } catch (const std::system_error&) {
        // Tried again at the next append.
    }
}

// A journal that found no room gives its last segment back once all of it is stored: the
// segment being written is never released otherwise, and a disk with less room than one
// segment would never take a packet again. Throws std::system_error when no new segment
// can be made.
void Journal::givebacklast() {
    const Segment& last = segments_.back();
    if (segments_.size() != 1 || last.count == 0 || last.first + last.count > released_) return;
    startsegment(last.first + last.count);
    if (spoolfilecalls().unlink(segments_.front().path.c_str()) == 0 || errno == ENOENT) dropfront();
}

// Its space comes back only once no descriptor holds it.
void Journal::dropfront() {
    if (segments_.front().unsyncedfd >= 0) close(segments_.front().unsyncedfd);
    bytes_ -= segments_.front().count * segments_.front().recordsize;
    segments_.erase(segments_.begin());
}

bool Journal::sync() {
    const std::lock_guard<std::mutex> syncing(syncmutex_);
    // Copies of the descriptors, so that a segment released meanwhile may close its own.
    std::vector<std::pair<std::uint64_t, int>> closed;
    int current = -1;
    bool directory = false;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        for (const Segment& segment : segments_)
            if (segment.unsyncedfd >= 0) closed.emplace_back(segment.first, dup(segment.unsyncedfd));
        current = dup(writefd_);
        directory = std::exchange(directorychanged_, false);
    }
    // Outside the lock: the reader must not wait for the disk.
    int error = 0;
    for (const auto& [first, fd] : closed) {
        if (error == 0) error = fd < 0 ? EBADF : syncdata(fd);
        if (fd >= 0) close(fd);
    }
    if (error == 0 && directory) error = syncdirectory(dir_);
    if (error == 0) error = current < 0 ? EBADF : syncdata(current);
    if (current >= 0) close(current);
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (error != 0) directorychanged_ = directorychanged_ || directory;
        for (Segment& segment : segments_) {
            const bool synced = std::any_of(closed.begin(), closed.end(),
                                            [&](const auto& copy) { return copy.first == segment.first; });
            if (error == 0 && synced && segment.unsyncedfd >= 0) {
                close(segment.unsyncedfd);
                segment.unsyncedfd = -1;
            }
        }
    }
    if ((error != 0) != syncfailing_) {
        syncfailing_ = error != 0;
        reportline("motelog: spool journal " + dir_ +
                   (syncfailing_ ? ": cannot write the journal through to the disk (" +
                                       std::string(std::strerror(error)) +
                                       "); nothing is stored until it works again\n"
                                 : ": the journal reaches the disk again; storing goes on\n"));
    }
    return error == 0;
}

void Journal::reportmissing(std::uint64_t from, std::uint64_t to, const std::string& why) {
    std::ostringstream line;
    line << "motelog: spool journal " << dir_ << ": packets seq " << from << " to " << to - 1 << " ("
         << to - from << ") are lost: " << why << "; never stored\n";
    reportline(line.str());
}

// One write per report: the reader and the store report on the same stream.
void Journal::reportline(const std::string& line) {
    if (!line.empty()) report_ << line << std::flush;
}

bool Journal::full() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return blocked_;
}

std::uint64_t Journal::bytes() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return bytes_;
}
