// The private Galera test cluster (scripts/db-cluster) in the directory MOTELOG_CLUSTER_DIR:
// its addresses for motelog, its nodes killed and restarted, and the rows it holds, read as
// root on whichever node answers.
#pragma once

#include <map>
#include <string>

class TestCluster {
public:
    // Reads the cluster's client.env and proxy.env; throws std::runtime_error saying why
    // when the cluster or its proxy is not running.
    TestCluster();

    int nodes() const { return nodes_; }

    // MOTELOG_DB_HOST naming every node, and naming HAProxy in front of them.
    const std::string& hostlist() const { return hostlist_; }
    const std::string& proxy() const { return proxy_; }
    // The CA file that client.env gives motelog; empty when the cluster runs without TLS.
    const std::string& tlsca() const { return tlsca_; }
    // A file of the cluster's certificates (scripts/test-certs), by its name.
    std::string tlsfile(const std::string& name) const { return dir_ + "/tls/" + name; }
    // The 127.0.0.1:port on which node `node` talks to its peers.
    std::string groupaddress(int node) const;

    // Runs `scripts/db-cluster COMMAND DIR [NODE]`; returns its exit status.
    int script(const std::string& command, int node = 0) const;
    // The node on which clients are committing now, found within milliseconds of their
    // first commit; 0 when none committed within 10 s.
    int servingnode() const;

    // Runs a statement on a node that answers; throws std::runtime_error when none does.
    void execute(const std::string& sql) const;
    // How many of the motes `first` to `last` have rows, as far as one node has applied them.
    std::size_t motes(int first, int last) const;
    // The rows of each of those motes, with every commit of the whole cluster seen.
    std::map<int, int> rowspermote(int first, int last) const;

private:
    std::string dir_;
    int nodes_ = 0;
    std::string hostlist_;
    std::string proxy_;
    std::string tlsca_;
};

// Expects each mote from `first` to `last` to have exactly `perpacket` rows in `rows` (its
// packet stored once), naming the motes that have fewer or more.
void expectexactlyonce(const std::map<int, int>& rows, int first, int last, int perpacket = 1);
