#include "tracebacklog.h"

#include <gtest/gtest.h>

namespace {

TEST(TraceBacklog, DropsWholeLinesWhenFullAndCountsThemUntilHalfIsFree) {
    TraceBacklog backlog(16);
    EXPECT_FALSE(backlog.offer("one\ntwo\n").startsdropping);
    // Only "three\n" fits of this part: the rest is dropped as whole lines.
    const TraceBacklog::Change full = backlog.offer("three\nfour\nfive\n");
    EXPECT_TRUE(full.startsdropping);
    EXPECT_EQ(backlog.take(100), "one\ntwo\nthree\n");
    // Room again, but dropping goes on until half the bound is free: the backlog is
    // empty now, so the next offer flows, after the two lines dropped.
    const TraceBacklog::Change again = backlog.offer("six\n");
    EXPECT_EQ(again.resumedafter, 2u);
    EXPECT_FALSE(again.startsdropping);
    EXPECT_EQ(backlog.take(100), "six\n");
}

TEST(TraceBacklog, KeepsDroppingWhileMoreThanHalfIsTaken) {
    TraceBacklog backlog(10);
    backlog.offer("aaaaaaaa\n");                        // 9 bytes
    EXPECT_TRUE(backlog.offer("bb\n").startsdropping);  // 12 > 10
    EXPECT_EQ(backlog.take(3), "aaa");                  // 6 left: more than half
    const TraceBacklog::Change still = backlog.offer("cc\n");
    EXPECT_EQ(still.resumedafter, 0u);
    EXPECT_FALSE(still.startsdropping);
    EXPECT_EQ(backlog.take(2), "aa");                   // 4 left: half is free
    EXPECT_EQ(backlog.offer("dd\n").resumedafter, 2u);  // "bb" and "cc"
    EXPECT_EQ(backlog.take(100), "aaa\ndd\n");
}

}  // namespace
