// MOTELOG_DB_HOST's host lists.
#include "dbhost.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(HostListTest, NamesPortsAndBracketedIpv6AddressesAreTakenApart) {
    const std::vector<DbHost> hosts =
        parsehostlist("db1, db2:3307 ,[::1]:3308,[fe80::2],127.0.0.1");
    ASSERT_EQ(hosts.size(), 5u);
    EXPECT_EQ(hosts[0].name, "db1");
    EXPECT_EQ(hosts[0].port, 0u);
    EXPECT_EQ(hosts[1].name, "db2");
    EXPECT_EQ(hosts[1].port, 3307u);
    EXPECT_EQ(hosts[2].name, "::1");
    EXPECT_EQ(hosts[2].port, 3308u);
    EXPECT_EQ(hosttext(hosts[2]), "[::1]:3308");
    EXPECT_EQ(hosts[3].name, "fe80::2");
    EXPECT_EQ(hosts[3].port, 0u);
    EXPECT_EQ(hosts[4].name, "127.0.0.1");
}

TEST(HostListTest, AWrongEntryIsNamed) {
    EXPECT_EQ(hostlistproblem("db1,db2:99999"), "'db2:99999' names port 99999, outside 1 to 65535");
    EXPECT_EQ(hostlistproblem("db1,,db2"), "an entry of the list is empty");
    EXPECT_EQ(hostlistproblem("::1"), "'::1': write an IPv6 address in brackets, as [::1]");
    EXPECT_EQ(hostlistproblem("[::1"),
              "'[::1' opens an IPv6 address with '[' but does not close it");
    EXPECT_EQ(hostlistproblem("db1:"), "'db1:' has no port number after its ':'");
    EXPECT_EQ(hostlistproblem("localhost"), "");
}

}  // namespace
