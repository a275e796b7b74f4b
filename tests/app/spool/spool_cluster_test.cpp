// motelog in spool mode against a three-node Galera cluster (MOTELOG_CLUSTER_DIR), reached
// by the list of its nodes or through HAProxy: a steady flow, the node that serves motelog
// killed and restarted during a flow and during a backlog's drain, and two motelogs at once.
// Every packet carries a mote id of its own, by which its rows are counted: each packet
// must be stored exactly once.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "spool_run.h"
#include "test_cluster.h"

namespace {

using namespace std::chrono_literals;

constexpr auto LineRate = 6250us;  // 160 packets/s
// A killed node freezes the cluster's commits for about 5 s; a loaded machine adds to that.
constexpr auto Patience = 90s;
// Longer than any wait of a store that works: a kill's freeze and the retries after it.
constexpr auto Stall = 30s;

class ClusterTest : public ::testing::Test {
protected:
    void SetUp() override {
        try {
            cluster_ = std::make_unique<TestCluster>();
        } catch (const std::exception& error) {
            const char* ci = std::getenv("CI");
            if (ci && std::string(ci) == "true") FAIL() << error.what();
            GTEST_SKIP() << error.what();
        }
        // Nodes that an earlier test left down rejoin.
        ASSERT_EQ(cluster_->script("start"), 0);
        cluster_->execute("TRUNCATE TABLE marrowby.test_data");
    }

    TestCluster& cluster() { return *cluster_; }

    std::unique_ptr<ChildProcess> start(const PtyPair& pty, const std::string& host,
                                        const std::string& spool) {
        return startspooled(pty, {}, spool, {"MOTELOG_DB_HOST=" + host});
    }

    // Waits until motes `first` to `last` have rows (or nothing more is stored for a long
    // while), stops motelog and checks that each packet has its `perpacket` rows once.
    void expectstoredonce(ChildProcess& run, int first, int last, int perpacket = 1) {
        const auto count = static_cast<std::size_t>(last - first + 1);
        std::size_t stored = 0;
        auto progressed = std::chrono::steady_clock::now();
        readuntil(
            run,
            [&] {
                const std::size_t now = cluster().motes(first, last);
                if (now > stored) progressed = std::chrono::steady_clock::now();
                stored = now;
                return stored >= count || std::chrono::steady_clock::now() - progressed > Stall;
            },
            Patience);
        EXPECT_GE(stored, count) << "packets stored; motelog said at the end:\n"
                                 << run.err().substr(run.err().size() - std::min<std::size_t>(run.err().size(), 1000));
        EXPECT_EQ(run.stop(SIGTERM, Patience), 0);
        expectexactlyonce(cluster().rowspermote(first, last), first, last, perpacket);
    }

    // On a thread of its own: finds the node that serves motelog, kills it and restarts it.
    void killservingnode() {
        killer_ = std::thread([this] {
            victim_ = cluster().servingnode();
            if (victim_ > 0 && cluster().script("kill", victim_) == 0)
                storedatkill_ = cluster().motes(0, 65535);
            if (victim_ > 0) restarted_ = cluster().script("restart", victim_) == 0;
            done_ = true;
        });
    }

    void expectkilledandrestarted() {
        if (killer_.joinable()) killer_.join();
        EXPECT_GT(victim_, 0) << "no node committed motelog's packets";
        EXPECT_TRUE(restarted_) << "node " << victim_ << " did not rejoin the cluster";
    }

    PtyPair pty_;
    std::atomic<bool> done_{false};
    std::atomic<std::size_t> storedatkill_{0};

private:
    std::unique_ptr<TestCluster> cluster_;
    std::thread killer_;
    std::atomic<int> victim_{0};
    std::atomic<bool> restarted_{false};
};

TEST_F(ClusterTest, ASteadyFlowIsStoredOnce) {
    auto run = start(pty_, cluster().hostlist(), freshdirectory("cluster-flow"));
    Feed feed{pty_, *run, 1};
    feedwhile({&feed}, LineRate, [&] { return feed.nextmote <= 480; });  // 3 s
    expectstoredonce(*run, 1, 480);
}

class ClusterKillTest : public ClusterTest, public ::testing::WithParamInterface<bool> {
protected:
    std::string address() { return GetParam() ? cluster().proxy() : cluster().hostlist(); }
};

TEST_P(ClusterKillTest, TheServingNodeKilledAndRestartedDuringAFlowCostsNoPacket) {
    auto run = start(pty_, address(), freshdirectory("cluster-kill-flow"));
    Feed feed{pty_, *run, 1};
    std::uint16_t after = 0;
    // A second of flow, the kill, and the flow goes on until a second after the restart.
    feedwhile({&feed}, LineRate, [&] {
        if (feed.nextmote == 161) killservingnode();
        if (done_ && !after) after = static_cast<std::uint16_t>(feed.nextmote + 160);
        return !after || feed.nextmote < after;
    });
    expectkilledandrestarted();
    expectstoredonce(*run, 1, feed.nextmote - 1);
}

INSTANTIATE_TEST_SUITE_P(Reached, ClusterKillTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "ThroughHAProxy" : "ByTheListOfNodes";
                         });

TEST_F(ClusterTest, TheServingNodeKilledDuringADrainCostsNoPacket) {
    // Six readings each: a drain of seconds, not a fraction of one.
    constexpr int backlog = 20000;
    const std::vector<RawReading> readings = {{4, 1}, {5, 2}, {6, 3}, {7, 4}, {8, 5}, {9, 6}};
    const std::string spool = freshdirectory("cluster-kill-drain");
    {
        // Journaled while no database answers.
        auto down = startspooled(pty_, {}, spool,
                                 {"MOTELOG_DB_HOST=localhost", "MYSQL_UNIX_PORT=" + spool + "/absent.sock"});
        Bytes line;
        for (int mote = 1; mote <= backlog; ++mote) {
            const Bytes packet = datapacket(0x01, 26, static_cast<std::uint16_t>(mote), readings);
            line.insert(line.end(), packet.begin(), packet.end());
        }
        std::thread writer([&] { pty_.send(line); });
        int read = 0;
        while (read < backlog) {
            const std::string trace = down->readLine(Patience);
            if (trace.empty()) break;
            read += trace == "Header:";
        }
        writer.join();
        ASSERT_EQ(read, backlog);
        EXPECT_EQ(down->stop(SIGTERM, Patience), 0);
    }

    auto run = start(pty_, cluster().hostlist(), spool);
    killservingnode();
    readuntil(*run, [&] { return done_.load(); }, Patience);
    expectkilledandrestarted();
    EXPECT_LT(storedatkill_.load(), static_cast<std::size_t>(backlog)) << "the drain was over before the kill";
    expectstoredonce(*run, 1, backlog, 6);
}

TEST_F(ClusterTest, TwoMotelogsAtOnceStoreEachPacketOnce) {
    // One takes the list of nodes from the last, the other HAProxy, which prefers the
    // first: they commit on two nodes.
    std::string reversed;
    std::istringstream hosts(cluster().hostlist());
    for (std::string host; std::getline(hosts, host, ',');)
        reversed = reversed.empty() ? host : host + "," + reversed;
    PtyPair otherline;
    auto first = start(pty_, reversed, freshdirectory("cluster-two-a"));
    auto second = start(otherline, cluster().proxy(), freshdirectory("cluster-two-b"));
    Feed a{pty_, *first, 1};
    Feed b{otherline, *second, 1001};
    feedwhile({&a, &b}, LineRate, [&] { return a.nextmote <= 480; });
    expectstoredonce(*first, 1, 480);
    expectstoredonce(*second, 1001, 1480);
}

}  // namespace
