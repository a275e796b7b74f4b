#include "test_cluster.h"

#include <gtest/gtest.h>
#include <mysql++.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// The value that DIR/NAME exports as `variable`; empty when it exports none.
std::string exported(const std::string& dir, const std::string& name, const std::string& variable) {
    std::ifstream file(dir + "/" + name);
    const std::string prefix = "export " + variable + "=";
    std::string line;
    while (std::getline(file, line))
        if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
    return "";
}

std::string exportedhost(const std::string& dir, const std::string& name) {
    std::string host = exported(dir, name, "MOTELOG_DB_HOST");
    if (host.empty())
        throw std::runtime_error(
            "no MOTELOG_DB_HOST in " + dir + "/" + name +
            ": the cluster or its proxy is not running (scripts/db-cluster start " + dir +
            ", then proxy " + dir + ")");
    return host;
}

// A root connection to node `node` through its socket. Throws mysqlpp::Exception.
std::unique_ptr<mysqlpp::Connection> connectnode(const std::string& dir, int node) {
    auto connection = std::make_unique<mysqlpp::Connection>(true);
    connection->set_option(new mysqlpp::ConnectTimeoutOption(2));
    connection->connect("marrowby", (dir + "/node" + std::to_string(node) + "/mysqld.sock").c_str(), "root", "");
    return connection;
}

// Runs `work` on the first node that answers. A causal read waits until that node has
// applied every commit of the cluster.
template <typename Result>
Result onanode(const std::string& dir, int nodes, bool causal,
               const std::function<Result(mysqlpp::Connection&)>& work) {
    std::string failures;
    for (int node = 1; node <= nodes; ++node) {
        try {
            const auto connection = connectnode(dir, node);
            if (causal) connection->query("SET SESSION wsrep_sync_wait = 1").execute();
            return work(*connection);
        } catch (const mysqlpp::Exception& error) {
            failures += " node " + std::to_string(node) + ": " + error.what() + ";";
        }
    }
    throw std::runtime_error("no node of the cluster answers:" + failures);
}

std::string between(int first, int last) {
    return " moteid BETWEEN " + std::to_string(first) + " AND " + std::to_string(last);
}

std::string list(const std::vector<int>& motes) {
    std::ostringstream text;
    for (std::size_t i = 0; i < motes.size() && i < 20; ++i) text << (i ? ", " : "") << motes[i];
    if (motes.size() > 20) text << ", ...";
    return text.str();
}

}  // namespace

TestCluster::TestCluster() {
    const char* dir = std::getenv("MOTELOG_CLUSTER_DIR");
    if (!dir || !*dir) throw std::runtime_error("MOTELOG_CLUSTER_DIR is not set; run the test through ctest");
    dir_ = dir;
    std::ifstream(dir_ + "/nodes") >> nodes_;
    hostlist_ = exportedhost(dir_, "client.env");
    proxy_ = exportedhost(dir_, "proxy.env");
    tlsca_ = exported(dir_, "client.env", "MOTELOG_DB_TLS_CA");
}

std::string TestCluster::groupaddress(int node) const {
    // DIR/nodeI/ports: "sql gcomm ist sst".
    int sql = 0;
    int group = 0;
    std::ifstream(dir_ + "/node" + std::to_string(node) + "/ports") >> sql >> group;
    return "127.0.0.1:" + std::to_string(group);
}

int TestCluster::script(const std::string& command, int node) const {
    const std::string line = MOTELOG_DB_CLUSTER " " + command + " " + dir_ +
                             (node ? " " + std::to_string(node) : std::string()) + " >/dev/null";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int TestCluster::servingnode() const {
    // wsrep_replicated counts the writesets that a node's own clients committed.
    std::vector<std::unique_ptr<mysqlpp::Connection>> connections(static_cast<std::size_t>(nodes_));
    std::vector<long long> committed(connections.size(), -1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        for (std::size_t i = 0; i < connections.size(); ++i) {
            try {
                if (!connections[i]) connections[i] = connectnode(dir_, static_cast<int>(i) + 1);
                const auto now = static_cast<long long>(
                    connections[i]->query("SHOW STATUS LIKE 'wsrep_replicated'").store()[0][1]);
                if (committed[i] >= 0 && now > committed[i]) return static_cast<int>(i) + 1;
                committed[i] = now;
            } catch (const mysqlpp::Exception&) {
                connections[i].reset();
                committed[i] = -1;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return 0;
}

void TestCluster::execute(const std::string& sql) const {
    onanode<bool>(dir_, nodes_, false, [&](mysqlpp::Connection& c) { return c.query(sql).execute(); });
}

std::size_t TestCluster::motes(int first, int last) const {
    return onanode<std::size_t>(dir_, nodes_, false, [&](mysqlpp::Connection& c) {
        return static_cast<std::size_t>(
            c.query("SELECT COUNT(DISTINCT moteid) FROM test_data WHERE" + between(first, last)).store()[0][0]);
    });
}

std::map<int, int> TestCluster::rowspermote(int first, int last) const {
    return onanode<std::map<int, int>>(dir_, nodes_, true, [&](mysqlpp::Connection& c) {
        std::map<int, int> counts;
        for (const mysqlpp::Row& row :
             c.query("SELECT moteid, COUNT(*) FROM test_data WHERE" + between(first, last) + " GROUP BY moteid")
                 .store())
            counts[static_cast<int>(row[0])] = static_cast<int>(row[1]);
        return counts;
    });
}

void expectexactlyonce(const std::map<int, int>& rows, int first, int last, int perpacket) {
    std::vector<int> fewer, more;
    for (int mote = first; mote <= last; ++mote) {
        const auto found = rows.find(mote);
        const int stored = found == rows.end() ? 0 : found->second;
        if (stored < perpacket) fewer.push_back(mote);
        if (stored > perpacket) more.push_back(mote);
    }
    const int packets = last - first + 1;
    EXPECT_TRUE(fewer.empty()) << fewer.size() << " of " << packets << " packets lack rows, motes " << list(fewer);
    EXPECT_TRUE(more.empty()) << more.size() << " of " << packets << " packets have too many rows, motes "
                              << list(more);
}
