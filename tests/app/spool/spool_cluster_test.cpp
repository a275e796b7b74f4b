// motelog in spool mode against a three-node Galera cluster (MOTELOG_CLUSTER_DIR), reached
// by the list of its nodes or through HAProxy: a steady flow, the node that serves motelog
// killed and restarted during a flow and during a backlog's drain, and two motelogs at once.
// Every packet carries a mote id of its own, by which its rows are counted: each packet
// must be stored exactly once. The cluster is a TLS cluster (scripts/db-cluster start
// --tls): motelog's connections and the nodes' own traffic are encrypted.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <regex>
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

TEST_F(ClusterTest, VerifiedTlsToEachNodeStoresEachPacketOnceAndCheckSaysSo) {
    ASSERT_FALSE(cluster().tlsca().empty()) << "the test cluster runs without TLS";
    const std::vector<std::string> verify = {"MOTELOG_DB_HOST=" + cluster().hostlist(),
                                             "MOTELOG_DB_TLS=verify",
                                             "MOTELOG_DB_TLS_CA=" + cluster().tlsca()};
    const std::string spool = freshdirectory("cluster-tls");

    auto check = startspooled(pty_, {}, spool, verify, {"--check"});
    EXPECT_EQ(check->waitForExit(Patience), 0) << check->err();
    std::istringstream hosts(cluster().hostlist());
    for (std::string host; std::getline(hosts, host, ',');)
        EXPECT_TRUE(std::regex_search(
            check->out(),
            std::regex("Database marrowby on " + host +
                       " as user quillon:\n  connect: ok\n  encryption: TLSv1\\.[23], [A-Z0-9_-]+; "
                       "the server's certificate is verified: signed by the CA in " +
                       cluster().tlsca() + ", made out to 127\\.0\\.0\\.1\n")))
            << host << " in:\n"
            << check->out();

    auto run = startspooled(pty_, {}, spool, verify);
    Feed feed{pty_, *run, 1};
    feedwhile({&feed}, LineRate, [&] { return feed.nextmote <= 160; });  // 1 s
    expectstoredonce(*run, 1, 160);
}

// A peer's view of each node's group communication port: a TLS handshake that a certificate
// from the cluster's CA passes, verified both ways, and that a peer without one fails.
TEST_F(ClusterTest, NodesTakeOnlyPeersWithACertificateOfTheirCaOverTls) {
    ASSERT_FALSE(cluster().tlsca().empty()) << "the test cluster runs without TLS";
    // openssl's exit status and what it said, for a handshake with node `node`.
    const auto handshake = [&](int node, const std::string& options) {
        ChildProcess peer(
            "/bin/sh", {"-c", "exec openssl s_client -brief -verify_return_error -connect " +
                                  cluster().groupaddress(node) + " -CAfile " + cluster().tlsca() +
                                  " " + options + " </dev/null"});
        const int status = peer.waitForExit(Patience);
        return std::make_pair(status, "node " + std::to_string(node) + ": " + peer.err());
    };
    const std::string nodecertificate = "-cert " + cluster().tlsfile("node-cert.pem") + " -key " +
                                        cluster().tlsfile("node-key.pem");
    for (int node = 1; node <= cluster().nodes(); ++node) {
        const auto [status, said] = handshake(node, nodecertificate);
        EXPECT_EQ(status, 0) << said;
        EXPECT_NE(said.find("Verification: OK"), std::string::npos) << said;
        // In TLS 1.3 the node judges the client's certificate once the client has finished
        // its side of the handshake: the stranger waits for the node's answer.
        const auto [strangerstatus, strangersaid] = handshake(node, "-ign_eof");
        EXPECT_NE(strangerstatus, 0) << strangersaid;
        EXPECT_NE(strangersaid.find("alert certificate required"), std::string::npos)
            << strangersaid;
    }
}

}  // namespace
