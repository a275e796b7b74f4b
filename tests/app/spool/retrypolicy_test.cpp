// The store's retry policy and the spool's size setting.
#include "retrypolicy.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "spoolsettings.h"

namespace {

using namespace std::chrono_literals;

TEST(RetryPolicy, BacksOffToFiveSecondsAndSaysOnlyWhatChanged) {
    std::ostringstream report;
    RetryPolicy retry(report);
    const auto start = RetryPolicy::Clock::now();
    EXPECT_EQ(retry.failed("Can't connect", start), 1000ms);
    EXPECT_EQ(retry.failed("Can't connect", start + 1s), 2000ms);
    EXPECT_EQ(retry.failed("Access denied", start + 3s), 4000ms);
    EXPECT_EQ(retry.failed("Can't connect", start + 7s), 5000ms);
    EXPECT_EQ(retry.failed("Can't connect", start + 12s), 5000ms);
    EXPECT_TRUE(retry.down());
    retry.succeeded(2100, start + 12500ms);
    EXPECT_FALSE(retry.down());
    EXPECT_EQ(retry.failed("Can't connect", start + 20s), 1000ms);
    EXPECT_EQ(report.str(),
              "motelog: database unavailable, packets wait in the spool: Can't connect\n"
              "motelog: database still unavailable: Access denied\n"
              "motelog: database available again after 12.5 s; 2100 packets waited in the spool\n"
              "motelog: database unavailable, packets wait in the spool: Can't connect\n");
}

TEST(SpoolSize, TakesBytesOrKMAndGAndRefusesAnythingElse) {
    EXPECT_EQ(parsesize("4096"), 4096u);
    EXPECT_EQ(parsesize("4K"), 4096u);
    EXPECT_EQ(parsesize("3M"), 3u << 20);
    EXPECT_EQ(parsesize("1G"), 1u << 30);
    for (const char* wrong : {"", "K", "4KB", "-1", "1.5G", "0", "1023", "17179869185G"})
        EXPECT_THROW(parsesize(wrong), std::invalid_argument) << wrong;
}

}  // namespace
