#include "progressfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <random>
#include <system_error>
#include <vector>

#include "bytefields.h"
#include "crc32.h"
#include "filedescriptor.h"

namespace {

// magic 4, crc 4, generation 8, spool id 8, stored 8, batch 4, batch count 4, batch xid 8,
// batch session 8
constexpr std::size_t SlotSize = 56;
constexpr std::uint32_t SlotMagic = 0x47504C4Du;  // "MLPG"

using Slot = std::array<std::uint8_t, SlotSize>;

Slot encodeslot(const Progress& p) {
    Slot slot{};
    putle(slot.data(), SlotMagic, 4);
    putle(slot.data() + 8, p.generation, 8);
    putle(slot.data() + 16, p.spoolid, 8);
    putle(slot.data() + 24, p.stored, 8);
    putle(slot.data() + 32, p.batch, 4);
    putle(slot.data() + 36, p.batchcount, 4);
    putle(slot.data() + 40, p.batchxid, 8);
    putle(slot.data() + 48, p.batchsession, 8);
    putle(slot.data() + 4, crc32of(slot.data() + 8, SlotSize - 8), 4);
    return slot;
}

bool decodeslot(const std::uint8_t* at, Progress& p) {
    if (getle(at, 4) != SlotMagic || getle(at + 4, 4) != crc32of(at + 8, SlotSize - 8)) return false;
    p.generation = getle(at + 8, 8);
    p.spoolid = getle(at + 16, 8);
    p.stored = getle(at + 24, 8);
    p.batch = static_cast<Progress::Batch>(getle(at + 32, 4));
    p.batchcount = static_cast<std::uint32_t>(getle(at + 36, 4));
    p.batchxid = getle(at + 40, 8);
    p.batchsession = getle(at + 48, 8);
    return p.batch <= Progress::Prepared;
}

}  // namespace

ProgressFile::ProgressFile(const std::string& dir, std::ostream& report) : path_(dir + "/progress") {
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot open " + path_);
    const std::vector<std::uint8_t> content = readwhole(fd_, path_);
    bool found = false;
    for (std::size_t at = 0; at + SlotSize <= content.size() && at < 2 * SlotSize; at += SlotSize) {
        Progress slot;
        if (decodeslot(content.data() + at, slot) && (!found || slot.generation > current_.generation)) {
            current_ = slot;
            found = true;
        }
    }
    if (found) return;
    if (!content.empty())
        report << "motelog: spool progress " << path_
               << " is damaged; the journal is stored again from its start" << std::endl;
    std::random_device random;
    current_.spoolid = (static_cast<std::uint64_t>(random()) << 32) | random();
    write(current_);
}

ProgressFile::~ProgressFile() {
    if (fd_ >= 0) close(fd_);
}

void ProgressFile::write(Progress next) {
    next.generation = current_.generation + 1;
    const Slot slot = encodeslot(next);
    if (const int error = writeat(fd_, slot.data(), slot.size(), (next.generation % 2) * SlotSize))
        throw std::system_error(error, std::generic_category(), "cannot write " + path_);
    current_ = next;
}

void ProgressFile::sync() { fdatasync(fd_); }
