// The journal's files: records survive a reopen, damage is skipped record by record and
// reported, a torn tail is cut off, the cap holds, stored segments go away, a failed sync
// or write is reported, and waits are measured on a clock that a wall-clock step does not move.
#include "journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "batchstatement.h"
#include "bytefields.h"
#include "crc32.h"
#include "progressfile.h"
#include "spoolfilecalls.h"
#include "spoolsink.h"

namespace {

namespace fs = std::filesystem;

MotePacket packetofmote(std::uint16_t moteid) {
    MotePacket packet{};
    packet.address = PacketAddress;
    packet.packettype = 0x01;
    packet.len = 6;
    packet.payload[0] = static_cast<std::uint8_t>(moteid >> 8);
    packet.payload[1] = static_cast<std::uint8_t>(moteid);
    return packet;
}

ArrivalTime arrivedat(std::int64_t wallus, std::uint8_t boot = 1, std::int64_t bootus = 0) {
    ArrivalTime arrival;
    arrival.wallus = wallus;
    arrival.bootid.fill(boot);
    arrival.bootus = bootus;
    return arrival;
}

std::vector<int> motesof(const JournalRead& read) {
    std::vector<int> motes;
    for (const JournalEntry& entry : read.entries) motes.push_back(decodemoteid(entry.packet));
    return motes;
}

void damagebyte(const fs::path& file, std::uint64_t offset) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream.put('\x55');
}

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) / ("journal-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Journals packets of motes 1..count, arriving 1000 µs apart, in segments of 4 records
    // when the cap is left small.
    void journal(int count, std::uint64_t cap = 1 << 20) {
        std::ostringstream report;
        Journal journal(dir_, cap, 0, report);
        for (int i = 1; i <= count; ++i)
            ASSERT_EQ(journal.append(arrivedat(1000 * i), packetofmote(static_cast<std::uint16_t>(i))).outcome,
                      AppendResult::Stored);
        EXPECT_EQ(report.str(), "");
    }

    fs::path segment(int first = 0) const {
        char name[40];
        std::snprintf(name, sizeof name, "%020d.journal", first);
        return dir_ / name;
    }

    fs::path dir_;
};

TEST_F(JournalTest, ARecoveredJournalReadsBackItsRecordsAndGoesOnAfterThem) {
    journal(3);
    std::ostringstream report;
    Journal reopened(dir_, 1 << 20, 0, report);
    EXPECT_EQ(report.str(), "");
    ASSERT_EQ(reopened.append(arrivedat(4000, 7, 99), packetofmote(4)).outcome, AppendResult::Stored);
    const JournalRead read = reopened.read(1, 10);
    EXPECT_EQ(motesof(read), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(read.end, 4u);
    EXPECT_EQ(read.entries[0].seq, 1u);
    EXPECT_EQ(read.entries[0].arrival.wallus, 2000);
    EXPECT_EQ(read.entries[2].arrival.bootid, arrivedat(0, 7).bootid);
    EXPECT_EQ(read.entries[2].arrival.bootus, 99);
}

TEST_F(JournalTest, ATornTailIsReportedCutOffAndNeverRead) {
    journal(3);
    fs::resize_file(segment(), 2 * RecordSize + 30);
    std::ostringstream report;
    Journal reopened(dir_, 1 << 20, 0, report);
    EXPECT_EQ(report.str(), "motelog: spool journal " + segment().string() +
                                ": an incomplete record at byte 152; its last 30 bytes are "
                                "dropped, never stored\n");
    EXPECT_EQ(fs::file_size(segment()), 2 * RecordSize);
    ASSERT_EQ(reopened.append(arrivedat(9000), packetofmote(9)).outcome, AppendResult::Stored);
    EXPECT_EQ(motesof(reopened.read(0, 10)), (std::vector<int>{1, 2, 9}));
}

TEST_F(JournalTest, ADamagedRecordIsSkippedOnItsOwnAtStartUpAndAtRunTime) {
    journal(6);
    damagebyte(segment(), RecordSize + RecordHeaderSize + 40);  // the second record's packet
    std::ostringstream report;
    Journal reopened(dir_, 1 << 20, 0, report);
    EXPECT_EQ(report.str(), "motelog: spool journal " + segment().string() +
                                ": a record whose checksum does not match at byte 76 (packet seq "
                                "1); skipped, never stored\n");

    // Damage after start-up: two neighbours in one line, each reported once.
    damagebyte(segment(), 3 * RecordSize + 1);
    damagebyte(segment(), 4 * RecordSize + 12);
    report.str("");
    JournalRead read = reopened.read(0, 2);
    EXPECT_EQ(motesof(read), (std::vector<int>{1, 3}));
    EXPECT_EQ(read.end, 3u);
    read = reopened.read(3, 10);
    EXPECT_EQ(motesof(read), (std::vector<int>{6}));
    EXPECT_EQ(read.end, 6u);
    EXPECT_EQ(reopened.read(3, 10).end, 6u);
    EXPECT_EQ(report.str(), "motelog: spool journal " + segment().string() +
                                ": 2 damaged records from byte 228 (a record of an unknown length "
                                "first; packets seq 3 to 4); skipped, never stored\n");
}

TEST_F(JournalTest, AMissingSegmentIsReportedWithItsPacketsAndTheRestIsRead) {
    journal(12, 12 * RecordSize);  // segments from seq 0, 4 and 8
    fs::remove(segment(4));
    std::ostringstream report;
    Journal reopened(dir_, 12 * RecordSize, 2, report);
    EXPECT_EQ(report.str(), "motelog: spool journal " + dir_.string() +
                                ": packets seq 4 to 7 (4) are lost: their journal segment is "
                                "missing; never stored\n");
    const JournalRead read = reopened.read(2, 100);
    EXPECT_EQ(motesof(read), (std::vector<int>{3, 4, 9, 10, 11, 12}));
    EXPECT_EQ(read.end, 12u);

    // At run time: found when it is read.
    ASSERT_EQ(reopened.append(arrivedat(1), packetofmote(13)).outcome, AppendResult::Stored);
    fs::remove(segment(8));
    report.str("");
    EXPECT_EQ(motesof(reopened.read(4, 100)), (std::vector<int>{13}));
    EXPECT_EQ(report.str(), "motelog: spool journal " + dir_.string() +
                                ": packets seq 8 to 11 (4) are lost: their journal segment was "
                                "deleted; never stored\n");
}

TEST_F(JournalTest, AStoredPositionBeyondTheEndIsReportedAndNumberingGoesOnFromIt) {
    journal(3);
    std::ostringstream report;
    Journal reopened(dir_, 1 << 20, 10, report);
    EXPECT_EQ(report.str(), "motelog: spool journal " + dir_.string() +
                                ": the stored position 10 is beyond the journal's end 3: packets "
                                "seq 3 to 9 (7) are counted as stored but are not in the journal; "
                                "new packets are numbered from 10\n");
    EXPECT_EQ(reopened.end(), 10u);
    ASSERT_EQ(reopened.append(arrivedat(1), packetofmote(20)).outcome, AppendResult::Stored);
    const JournalRead read = reopened.read(10, 10);
    EXPECT_EQ(motesof(read), (std::vector<int>{20}));
    EXPECT_EQ(read.entries[0].seq, 10u);
}

TEST_F(JournalTest, RecordsOfTheLandedLayoutAreReadAndNewOnesGoToASegmentOfTheirOwn) {
    {
        std::ofstream file(segment(), std::ios::binary);
        for (std::uint16_t mote = 1; mote <= 2; ++mote) {
            std::uint8_t record[LandedRecordSize] = {};
            putle(record, LandedRecordPayloadSize, 4);
            putle(record + RecordHeaderSize, 5000 * mote, 8);
            const MotePacket packet = packetofmote(mote);
            std::memcpy(record + RecordHeaderSize + 8, &packet, PacketSize);
            putle(record + 4, crc32of(record + RecordHeaderSize, LandedRecordPayloadSize), 4);
            file.write(reinterpret_cast<const char*>(record), sizeof record);
        }
    }
    std::ostringstream report;
    Journal journal(dir_, 1 << 20, 0, report);
    EXPECT_EQ(report.str(), "");
    ASSERT_EQ(journal.append(arrivedat(1), packetofmote(3)).outcome, AppendResult::Stored);
    const JournalRead read = journal.read(0, 10);
    EXPECT_EQ(motesof(read), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(read.entries[1].arrival.wallus, 10000);
    EXPECT_EQ(read.entries[1].arrival.bootid, BootId{});
    EXPECT_EQ(fs::file_size(segment()), 2 * LandedRecordSize);
    EXPECT_EQ(fs::file_size(segment(2)), RecordSize);
}

TEST_F(JournalTest, TheCapRefusesRecordsUntilStoredSegmentsAreReleased) {
    std::ostringstream report;
    // Segments of 4 records (the smallest), 12 records in all.
    Journal journal(dir_, 12 * RecordSize, 0, report);
    for (int i = 0; i < 12; ++i)
        ASSERT_EQ(journal.append(arrivedat(i), packetofmote(1)).outcome, AppendResult::Stored) << i;
    EXPECT_EQ(journal.append(arrivedat(12), packetofmote(1)).outcome, AppendResult::AtCap);
    EXPECT_EQ(journal.bytes(), 12 * RecordSize);

    journal.release(5);  // the first segment is wholly stored, the second is not
    EXPECT_FALSE(fs::exists(segment()));
    EXPECT_EQ(journal.bytes(), 8 * RecordSize);
    EXPECT_EQ(journal.append(arrivedat(13), packetofmote(2)).outcome, AppendResult::Stored);
    EXPECT_EQ(journal.read(5, 100).entries.size(), 8u);
    EXPECT_EQ(journal.end(), 13u);
}

TEST_F(JournalTest, ACapBelowOneSegmentTakesRecordsAgainOnceTheyAreStored) {
    std::ostringstream report;
    Journal journal(dir_, 3 * RecordSize, 0, report);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(journal.append(arrivedat(i), packetofmote(1)).outcome, AppendResult::Stored) << i;
    EXPECT_EQ(journal.append(arrivedat(3), packetofmote(1)).outcome, AppendResult::AtCap);
    journal.release(3);
    EXPECT_EQ(journal.append(arrivedat(4), packetofmote(2)).outcome, AppendResult::Stored);
    EXPECT_EQ(motesof(journal.read(3, 10)), (std::vector<int>{2}));
    EXPECT_FALSE(fs::exists(segment()));
}

// A disk that reports write errors while `failing` is set: fdatasync and pwrite fail with
// EIO, through the spool's file-call seam, for as long as the object lives.
std::atomic<bool> failing{false};

class FailingDisk {
public:
    FailingDisk() {
        calls_.fdatasync = [](int fd) { return failing ? (errno = EIO, -1) : realspoolfilecalls().fdatasync(fd); };
        calls_.pwrite = [](int fd, const void* buffer, std::size_t count, off_t offset) -> ssize_t {
            return failing ? (errno = EIO, -1) : realspoolfilecalls().pwrite(fd, buffer, count, offset);
        };
        replacespoolfilecalls(&calls_);
    }
    ~FailingDisk() {
        replacespoolfilecalls(nullptr);
        failing = false;
    }

private:
    SpoolFileCalls calls_ = realspoolfilecalls();
};

TEST_F(JournalTest, AFailedSyncIsReportedOnceAndSaysNotDurableUntilItWorksAgain) {
    const FailingDisk disk;
    std::ostringstream report;
    Journal journal(dir_, 12 * RecordSize, 0, report);
    for (int i = 0; i < 6; ++i)  // into a second segment, whose name must reach the disk too
        ASSERT_EQ(journal.append(arrivedat(i), packetofmote(1)).outcome, AppendResult::Stored);
    failing = true;
    EXPECT_FALSE(journal.sync());
    EXPECT_FALSE(journal.sync());
    failing = false;
    EXPECT_TRUE(journal.sync());
    EXPECT_TRUE(journal.sync());
    EXPECT_EQ(report.str(), "motelog: spool journal " + dir_.string() +
                                ": cannot write the journal through to the disk (Input/output "
                                "error); nothing is stored until it works again\n"
                                "motelog: spool journal " + dir_.string() +
                                ": the journal reaches the disk again; storing goes on\n");
}

TEST_F(JournalTest, AFailedWriteDropsThePacketAndIsReportedWhenItStartsAndWhenItStops) {
    const FailingDisk disk;
    std::ostringstream report;
    Journal journal(dir_, 1 << 20, 0, report);
    SpoolSink sink(journal, dir_.string(), 1 << 20, report);
    failing = true;
    EXPECT_TRUE(sink.take(packetofmote(1)));
    EXPECT_TRUE(sink.take(packetofmote(2)));
    failing = false;
    EXPECT_TRUE(sink.take(packetofmote(3)));
    EXPECT_EQ(motesof(journal.read(0, 10)), (std::vector<int>{3}));
    EXPECT_EQ(report.str(), "motelog: spool " + dir_.string() +
                                " cannot write the journal (Input/output error), dropping packets "
                                "until it can\nmotelog: spool " + dir_.string() +
                                " takes packets again; 2 packets were dropped\n");
}

TEST_F(JournalTest, AWallClockStepDoesNotMoveTheStoredWaitWithinOneBoot) {
    std::ostringstream report;
    Journal journal(dir_, 1 << 20, 0, report);
    // Journaled at boot time 10 s; then NTP steps the wall clock an hour back.
    ASSERT_EQ(journal.append(arrivedat(1'700'000'000'000'000, 1, 10'000'000), packetofmote(1)).outcome,
              AppendResult::Stored);
    const std::vector<JournalEntry> entries = journal.read(0, 1).entries;
    const ArrivalTime stepped = arrivedat(1'700'000'000'000'000 - 3'600'000'000 + 2'500'000, 1, 12'500'000);
    EXPECT_NE(batchinsert(entries, stepped).find("now() - INTERVAL 2500000 MICROSECOND"), std::string::npos)
        << batchinsert(entries, stepped);
    // After a reboot the boot clock says nothing about the wait: the wall clock does.
    const ArrivalTime rebooted = arrivedat(1'700'000'000'000'000 + 60'000'000, 2, 1'000'000);
    EXPECT_NE(batchinsert(entries, rebooted).find("now() - INTERVAL 60000000 MICROSECOND"), std::string::npos)
        << batchinsert(entries, rebooted);
}

TEST(BootId, IsReadFromTheTextOfProcAndUnknownForAnythingElse) {
    const BootId id = parsebootid("0123abcd-4567-89ef-0123-456789abcdef\n");
    EXPECT_EQ(id[0], 0x01);
    EXPECT_EQ(id[15], 0xef);
    EXPECT_EQ(parsebootid("0123abcd-4567"), BootId{});
    EXPECT_EQ(parsebootid("0123abcd-4567-89ef-0123-456789abcdefab"), BootId{});
    EXPECT_NE(arrivalnow().bootid, BootId{});
}

TEST_F(JournalTest, ProgressSurvivesACrashWhileItsNextRecordIsWritten) {
    std::ostringstream report;
    {
        ProgressFile progress(dir_, report);
        progress.write(Progress{StationId{1}, 9, 7});
    }
    // A crash leaves the next record's file torn, never renamed over the last one.
    std::ofstream(dir_ / "progress.new", std::ios::binary) << "MLP2";
    {
        ProgressFile reopened(dir_, report);
        EXPECT_EQ(reopened.found(), ProgressFile::Found::Current);
        EXPECT_EQ(reopened.current().stored, 9u);
        EXPECT_EQ(reopened.current().durable, 7u);
        reopened.write(Progress{StationId{1}, 12, 9});
    }
    EXPECT_EQ(ProgressFile(dir_, report).current().stored, 12u);
    EXPECT_EQ(report.str(), "");
}

}  // namespace
