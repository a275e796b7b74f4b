// The journal's files: records survive a reopen, a damaged tail is reported and cut off,
// the cap holds, and stored segments go away.
#include "journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "progressfile.h"

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

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) / ("journal-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Journals packets of motes 1..count, arriving at 1000 µs apart.
    void journal(int count, std::uint64_t cap = 1 << 20) {
        std::ostringstream report;
        Journal journal(dir_, cap, 0, report);
        for (int i = 1; i <= count; ++i)
            ASSERT_EQ(journal.append(1000 * i, packetofmote(static_cast<std::uint16_t>(i))).outcome,
                      AppendResult::Stored);
        EXPECT_EQ(report.str(), "");
    }

    fs::path segment() const { return dir_ / "00000000000000000000.journal"; }

    fs::path dir_;
};

TEST_F(JournalTest, ARecoveredJournalReadsBackItsRecordsAndGoesOnAfterThem) {
    journal(3);
    std::ostringstream report;
    Journal reopened(dir_, 1 << 20, 0, report);
    EXPECT_EQ(report.str(), "");
    ASSERT_EQ(reopened.append(4000, packetofmote(4)).outcome, AppendResult::Stored);
    const std::vector<JournalEntry> entries = reopened.read(1, 10).entries;
    ASSERT_EQ(entries.size(), 3u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].seq, i + 1);
        EXPECT_EQ(entries[i].arrivalus, 1000 * static_cast<std::int64_t>(i + 2));
        EXPECT_EQ(decodemoteid(entries[i].packet), static_cast<int>(i + 2));
    }
}

TEST_F(JournalTest, ATornTailIsReportedCutOffAndNeverRead) {
    journal(3);
    fs::resize_file(segment(), 2 * RecordSize + 30);
    std::ostringstream report;
    Journal reopened(dir_, 1 << 20, 0, report);
    EXPECT_EQ(report.str(), "motelog: spool journal " + segment().string() +
                                ": an incomplete record at byte 104; its last 30 bytes are "
                                "dropped, never stored\n");
    EXPECT_EQ(fs::file_size(segment()), 2 * RecordSize);
    ASSERT_EQ(reopened.append(9000, packetofmote(9)).outcome, AppendResult::Stored);
    const std::vector<JournalEntry> entries = reopened.read(0, 10).entries;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(decodemoteid(entries[2].packet), 9);
}

TEST_F(JournalTest, ARecordWithABadChecksumEndsWhatIsKept) {
    journal(3);
    {
        std::fstream file(segment(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(RecordSize + RecordHeaderSize + 12);  // a byte of the second packet
        file.put('\x55');
    }
    std::ostringstream report;
    Journal reopened(dir_, 1 << 20, 0, report);
    EXPECT_NE(report.str().find(": a record whose checksum does not match at byte 52; its last 104 "
                                "bytes are dropped"),
              std::string::npos)
        << report.str();
    EXPECT_EQ(reopened.read(0, 10).entries.size(), 1u);
}

TEST_F(JournalTest, TheCapRefusesRecordsUntilStoredSegmentsAreReleased) {
    std::ostringstream report;
    // Segments of 4 records (the smallest), 12 records in all.
    Journal journal(dir_, 12 * RecordSize, 0, report);
    for (int i = 0; i < 12; ++i)
        ASSERT_EQ(journal.append(i, packetofmote(1)).outcome, AppendResult::Stored) << i;
    EXPECT_EQ(journal.append(12, packetofmote(1)).outcome, AppendResult::AtCap);
    EXPECT_EQ(journal.bytes(), 12 * RecordSize);

    journal.release(5);  // the first segment is wholly stored, the second is not
    EXPECT_FALSE(fs::exists(segment()));
    EXPECT_EQ(journal.bytes(), 8 * RecordSize);
    EXPECT_EQ(journal.append(13, packetofmote(2)).outcome, AppendResult::Stored);
    EXPECT_EQ(journal.read(5, 100).entries.size(), 8u);
    EXPECT_EQ(journal.end(), 13u);
}

TEST_F(JournalTest, ACapBelowOneSegmentTakesRecordsAgainOnceTheyAreStored) {
    std::ostringstream report;
    Journal journal(dir_, 4 * RecordSize, 0, report);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(journal.append(i, packetofmote(1)).outcome, AppendResult::Stored) << i;
    EXPECT_EQ(journal.append(4, packetofmote(1)).outcome, AppendResult::AtCap);
    journal.release(4);
    EXPECT_EQ(journal.append(5, packetofmote(2)).outcome, AppendResult::Stored);
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
